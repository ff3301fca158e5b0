// Registry store: every read brings hand-edited data into range before anything else sees it.
#include "store.h"

#include "launcher_state.h"
#include "stored_value.h"
#include "text_fit.h"

LauncherStateRecord LauncherState;

// Registry, dialogs and the shell all speak the system's ANSI code page: 932 for the terminal's
// users, but on a Western Windows é and ü are single bytes that 932 would take for lead bytes.
bool IsSystemLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

void OpenStoreKey(const char* path) {
    HKEY key = NULL;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, &disposition);
    // A profile that may only be read still shows what it holds; the save then reports.
    if (result != ERROR_SUCCESS)
        result = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
    LauncherState.StoreKey = result == ERROR_SUCCESS ? key : NULL;
}

void CloseStoreKey() {
    RegCloseKey(LauncherState.StoreKey);
    LauncherState.StoreKey = NULL;
}

// The one place a value is asked for: with no key open there is nothing to ask, and it reads as
// missing.
static __declspec(noinline) LONG QueryStoreValue(const char* name, DWORD* type, void* data,
                                                 DWORD* size) {
    if (LauncherState.StoreKey == NULL)
        return ERROR_FILE_NOT_FOUND;
    return RegQueryValueExA(LauncherState.StoreKey, name, NULL, type, static_cast<BYTE*>(data),
                            size);
}

int ReadStoreDword(const char* name) {
    BYTE value[4];
    DWORD type = REG_NONE;
    DWORD size = sizeof(value);
    LONG result = QueryStoreValue(name, &type, value, &size);
    return StoredDwordValue(result == ERROR_SUCCESS, type, value, size);
}

bool ReadStoreString(const char* name, char* field, unsigned long capacity, OverlongText overlong) {
    field[0] = '\0';
    // Read into scratch space so that an oversized or unterminated value of any type is measured
    // against the field (and cut or dropped, never split inside a double-byte character)
    // instead of overrunning it.
    char scratch[kReadScratchSize];
    DWORD type = REG_NONE;
    DWORD size = sizeof(scratch);
    LONG result = QueryStoreValue(name, &type, scratch, &size);
    StoredRead read = result == ERROR_SUCCESS     ? kStoredRead
                      : result == ERROR_MORE_DATA ? kStoredTooLarge
                                                  : kStoredMissing;
    return LoadStoredText(field, capacity, read, scratch, size, overlong, IsSystemLeadByte);
}

static __declspec(noinline) bool SetStoreValue(const char* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExA(LauncherState.StoreKey, name, 0, type, static_cast<const BYTE*>(data),
                          size) == ERROR_SUCCESS;
}

// Texts come from the table's fields, so no more than a target field's bytes are measured.
bool WriteStoreString(const char* name, const char* text) {
    return SetStoreValue(name, REG_SZ, text,
                         static_cast<DWORD>(BoundedLength(text, kTargetSize - 1) + 1));
}

bool WriteStoreDword(const char* name, int value) {
    DWORD data = static_cast<DWORD>(value);
    return SetStoreValue(name, REG_DWORD, &data, sizeof(data));
}

// An entry's two value names, "Title00" and "Command00" for the first program.
struct EntryNames {
    char title[16];
    char target[16];
};

static void NameEntry(EntryNames& names, const char* targetPrefix, int index) {
    FormatValueName(names.title, sizeof(names.title), "Title", index);
    FormatValueName(names.target, sizeof(names.target), targetPrefix, index);
}

// An entry as stored, by the load's rules: an overlong title is cut, an overlong target dropped.
static void ReadEntry(const EntryNames& names, LaunchEntry& entry) {
    ReadStoreString(names.title, entry.title, kTitleSize, kCutOverlong);
    ReadStoreString(names.target, entry.target, kTargetSize, kDropOverlong);
}

static bool SameEntry(const LaunchEntry& a, const LaunchEntry& b) {
    return SameStoredText(a.title, b.title, kTitleSize) &&
           SameStoredText(a.target, b.target, kTargetSize);
}

// One text as stored goes into the table and into what this terminal knows when another writer
// changed it, or when its row has just come into range; else the table keeps its own, which may
// be a refused write still to be retried.
static void TakeInText(const char* stored, char* text, char* known, unsigned long capacity,
                       bool whole) {
    if (whole || !SameStoredText(stored, known, capacity)) {
        CopyMemory(text, stored, capacity);
        CopyMemory(known, stored, capacity);
    }
}

// What another writer saved since this terminal last loaded or wrote the store, taken into the
// table; from a table and a record both empty, this is the load. `opened` keeps what the sheet
// then shows, so that its close can tell the sheet's changes from another writer's.
static void RefreshTable(const char* path, const char* targetPrefix, LaunchTable& table,
                         LaunchTable& known, LaunchTable& opened) {
    OpenStoreKey(path);
    // A key that cannot be opened tells nothing of what is stored: the table stays as it is.
    int count = LauncherState.StoreKey != NULL ? ClampTableCount(ReadStoreDword("Count")) : -1;
    int held = table.count; // rows from here up come into range and are read whole
    if (count >= 0 && count != known.count)
        table.count = known.count = count;
    for (int i = 0; i < table.count && count >= 0; ++i) {
        EntryNames names;
        NameEntry(names, targetPrefix, i);
        LaunchEntry stored;
        ReadEntry(names, stored);
        TakeInText(stored.title, table.entries[i].title, known.entries[i].title, kTitleSize,
                   i >= held);
        TakeInText(stored.target, table.entries[i].target, known.entries[i].target,
                   kTargetSize, i >= held);
    }
    CloseStoreKey();
    opened = table;
}

// Writes one text; what this terminal knows follows only a write that was stored, so a refused
// one is tried again at the next close unless someone else changes it first.
static bool SaveText(const char* name, const char* text, char* known, unsigned long capacity) {
    if (!WriteStoreString(name, text))
        return false;
    CopyMemory(known, text, capacity); // both are fields of `capacity` bytes
    return true;
}

// Every entry below the count is written in the order of the load, the unchanged ones too,
// except one another writer changed since and the sheet did not: title and target are one
// unit, written both or neither. A count this sheet sets over another writer's brings the whole
// table as the sheet shows it, since the other's rows no longer stand where it put them; an
// entry the sheet changed at or past the stored count sets the count too, or nothing would read
// it. A refused write does not stop the rest.
static bool SaveTable(const char* path, const char* targetPrefix, const LaunchTable& table,
                      const LaunchTable& opened, LaunchTable& known) {
    OpenStoreKey(path);
    int storedCount = ClampTableCount(ReadStoreDword("Count"));
    bool changed[kTableSlots];
    bool ownCount = table.count != opened.count;
    for (int i = 0; i < table.count; ++i) {
        changed[i] = i >= opened.count || !SameEntry(table.entries[i], opened.entries[i]);
        ownCount |= changed[i] && i >= storedCount;
    }
    bool storeCountChanged = storedCount != known.count;
    bool whole = ownCount && storeCountChanged;
    bool saved = LauncherState.StoreKey != NULL; // a key not had is not saved, changed or not
    if (ClosingWrites(ownCount, storeCountChanged)) {
        saved = WriteStoreDword("Count", table.count);
        if (saved)
            known.count = table.count;
    }
    for (int i = 0; i < table.count; ++i) {
        EntryNames names;
        NameEntry(names, targetPrefix, i);
        LaunchEntry stored;
        ReadEntry(names, stored);
        LaunchEntry& knownEntry = known.entries[i];
        if (!whole && !ClosingWrites(changed[i], !SameEntry(stored, knownEntry)))
            continue;
        saved &= SaveText(names.title, table.entries[i].title, knownEntry.title, kTitleSize);
        saved &= SaveText(names.target, table.entries[i].target, knownEntry.target, kTargetSize);
    }
    CloseStoreKey();
    return saved;
}

void LoadLaunchTables() { RefreshLaunchTables(); }

void RefreshLaunchTables() {
    LauncherStateRecord& state = LauncherState;
    RefreshTable(kFileKeyPath, "Command", state.FileTable, state.FileStored, state.FileOpened);
    RefreshTable(kScriptKeyPath, "ScriptFile", state.ScriptTable, state.ScriptStored,
                 state.ScriptOpened);
}

bool SaveLaunchTables() {
    LauncherStateRecord& state = LauncherState;
    bool files = SaveTable(kFileKeyPath, "Command", state.FileTable, state.FileOpened,
                           state.FileStored);
    return SaveTable(kScriptKeyPath, "ScriptFile", state.ScriptTable, state.ScriptOpened,
                     state.ScriptStored) &&
           files;
}
