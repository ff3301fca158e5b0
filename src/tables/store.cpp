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

static void LoadTable(const char* path, const char* targetPrefix, LaunchTable& table,
                      LaunchTable& stored) {
    OpenStoreKey(path);
    table.count = ClampTableCount(ReadStoreDword("Count"));
    for (int i = 0; i < table.count; ++i) {
        char name[16];
        FormatValueName(name, sizeof(name), "Title", i);
        ReadStoreString(name, table.entries[i].title, kTitleSize, kCutOverlong);
        FormatValueName(name, sizeof(name), targetPrefix, i);
        ReadStoreString(name, table.entries[i].target, kTargetSize, kDropOverlong);
    }
    CloseStoreKey();
    stored = table;
}

// One text of an entry. `opened` is the text the sheet opened on, null for an entry the sheet
// added; `known` is what this terminal last loaded or wrote: a store that differs from it was
// changed by another writer since. A refused write leaves `known` as it was, so the value is
// tried again at the next close unless someone else changes it first.
static bool SaveText(const char* prefix, int index, const char* text, const char* opened,
                     char* known, unsigned long capacity, OverlongText overlong) {
    char name[16];
    FormatValueName(name, sizeof(name), prefix, index);
    char stored[kTargetSize];
    ReadStoreString(name, stored, capacity, overlong);
    bool sheetChanged = opened == NULL || !SameStoredText(text, opened, capacity);
    if (!ClosingWrites(sheetChanged, !SameStoredText(stored, known, capacity)))
        return true;
    if (!WriteStoreString(name, text))
        return false;
    CopyMemory(known, text, capacity); // both are fields of `capacity` bytes
    return true;
}

// Every value below the count is written in the order of the load, the unchanged ones too,
// except those another writer changed and the sheet did not; a refused write does not stop the
// rest. Entries at or past the count the sheet opened with are the sheet's own additions.
static bool SaveTable(const char* path, const char* targetPrefix, const LaunchTable& table,
                      const LaunchEntry opened[kTableSlots], int openedCount,
                      LaunchTable& known) {
    OpenStoreKey(path);
    bool storeChanged = ClampTableCount(ReadStoreDword("Count")) != known.count;
    bool saved = true;
    if (ClosingWrites(table.count != openedCount, storeChanged)) {
        saved = WriteStoreDword("Count", table.count);
        if (saved)
            known.count = table.count;
    }
    for (int i = 0; i < table.count; ++i) {
        const LaunchEntry* before = i < openedCount ? &opened[i] : NULL;
        saved &= SaveText("Title", i, table.entries[i].title, before ? before->title : NULL,
                          known.entries[i].title, kTitleSize, kCutOverlong);
        saved &= SaveText(targetPrefix, i, table.entries[i].target,
                          before ? before->target : NULL, known.entries[i].target, kTargetSize,
                          kDropOverlong);
    }
    CloseStoreKey();
    return saved;
}

void LoadLaunchTables() {
    LoadTable(kFileKeyPath, "Command", LauncherState.FileTable, LauncherState.FileStored);
    LoadTable(kScriptKeyPath, "ScriptFile", LauncherState.ScriptTable, LauncherState.ScriptStored);
}

bool SaveLaunchTables(int openedFileCount, int openedScriptCount) {
    LauncherStateRecord& state = LauncherState;
    bool files = SaveTable(kFileKeyPath, "Command", state.FileTable, state.FileBackup,
                           openedFileCount, state.FileStored);
    return SaveTable(kScriptKeyPath, "ScriptFile", state.ScriptTable, state.ScriptBackup,
                     openedScriptCount, state.ScriptStored) &&
           files;
}
