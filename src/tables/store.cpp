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

// What another writer saved since this terminal last loaded or wrote the store, taken into the
// table; from a table and a record both empty, this is the load. The table keeps only what a
// refusal left to retry: an entry while the store holds it as this terminal knew it, a count
// while the store's count and the rows it would drop are as known. Rows at or past the stored
// count are stored nowhere and never read as another writer's. `opened` keeps what the sheet then
// shows, so that its close can tell the sheet's changes from another writer's.
static __declspec(noinline) void RefreshTable(const char* path, const char* targetPrefix,
                                              LaunchTable& table, LaunchTable& known,
                                              LaunchTable& opened) {
    OpenStoreKey(path);
    // A key that tells nothing of what is stored leaves the table as it is, and the sheet opened
    // on that stale picture saves nothing of it.
    opened.count = -1;
    if (LauncherState.StoreKey == NULL)
        return;
    int count = ClampTableCount(ReadStoreDword("Count"));
    int held = table.count; // rows from here up come in whole: the table holds none of them
    bool takeCount = count != known.count;
    for (int i = 0; i < count; ++i) {
        EntryNames names;
        NameEntry(names, targetPrefix, i);
        LaunchEntry stored;
        ReadEntry(names, stored);
        bool elsewhere = i >= known.count || !SameEntry(stored, known.entries[i]);
        if (i >= held)
            takeCount |= elsewhere;
        if (elsewhere || i >= held)
            table.entries[i] = known.entries[i] = stored;
    }
    CloseStoreKey();
    if (takeCount)
        table.count = count;
    known.count = count;
    opened = table;
}

// Writes one text; what this terminal knows follows only a write that was stored.
static bool SaveText(const char* name, const char* text, char* known, unsigned long capacity) {
    if (!WriteStoreString(name, text))
        return false;
    CopyMemory(known, text, capacity); // both are fields of `capacity` bytes
    return true;
}

// Writes an entry so that a refusal leaves it wholly as stored: the target only once the title
// is stored, and the title put back where the target is refused. True when both were stored;
// `known` is what the store then holds.
static bool SaveEntry(const EntryNames& names, const LaunchEntry& entry, const LaunchEntry& stored,
                      LaunchEntry& known) {
    known = stored;
    if (!SaveText(names.title, entry.title, known.title, kTitleSize))
        return false;
    if (SaveText(names.target, entry.target, known.target, kTargetSize))
        return true;
    SaveText(names.title, stored.title, known.title, kTitleSize);
    return false;
}

static bool SaveCount(int count, LaunchTable& known) {
    if (!WriteStoreDword("Count", count))
        return false;
    known.count = count;
    return true;
}

// Every entry below the count is written in the order of the load, the unchanged ones too,
// except one another writer changed since and the sheet did not. A count this sheet sets over
// another writer's brings the whole table as the sheet shows it, since the other's rows no
// longer stand where it put them; an entry the sheet changed at or past the stored count sets
// the count too, or nothing would read it. A count is written before the rows, but a growing one
// after them and only once every row it takes in is stored whole. A refused write does not stop
// the rest. A sheet that opened without reading the store writes nothing, and its edits are not
// retried: the next opening shows the store whole.
static __declspec(noinline) bool SaveTable(const char* path, const char* targetPrefix,
                                           const LaunchTable& table, const LaunchTable& opened,
                                           LaunchTable& known) {
    if (opened.count < 0) {
        known.count = -1;
        return false;
    }
    OpenStoreKey(path);
    if (LauncherState.StoreKey == NULL)
        return false;
    int storedCount = ClampTableCount(ReadStoreDword("Count"));
    bool changed[kTableSlots];
    bool ownCount = table.count != opened.count;
    for (int i = 0; i < table.count; ++i) {
        changed[i] = i >= opened.count || !SameEntry(table.entries[i], opened.entries[i]);
        ownCount |= changed[i] && i >= storedCount;
    }
    bool storeCountChanged = storedCount != known.count;
    bool whole = ownCount && storeCountChanged;
    // The count this close leaves stored: another writer's stays unless this sheet sets its own.
    int count = ClosingWrites(ownCount, storeCountChanged) ? table.count : storedCount;
    bool saved = true;
    if (count <= storedCount && count == table.count)
        saved = SaveCount(count, known);
    for (int i = 0; i < count && i < table.count; ++i) {
        EntryNames names;
        NameEntry(names, targetPrefix, i);
        LaunchEntry stored;
        ReadEntry(names, stored);
        bool storeChanged = i < storedCount && !SameEntry(stored, known.entries[i]);
        if ((whole || ClosingWrites(changed[i], storeChanged)) &&
            !SaveEntry(names, table.entries[i], stored, known.entries[i])) {
            saved = false;
            if (i >= storedCount)
                count = storedCount; // a row not stored whole is not taken into range
        }
    }
    if (count > storedCount)
        saved &= SaveCount(count, known);
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
