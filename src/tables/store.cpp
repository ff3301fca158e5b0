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

int ReadStoreDword(const char* name) {
    if (LauncherState.StoreKey == NULL)
        return 0;
    BYTE value[4];
    DWORD type = REG_NONE;
    DWORD size = sizeof(value);
    LONG result = RegQueryValueExA(LauncherState.StoreKey, name, NULL, &type, value, &size);
    return StoredDwordValue(result == ERROR_SUCCESS, type, value, size);
}

bool ReadStoreString(const char* name, char* field, unsigned long capacity, OverlongText overlong) {
    if (capacity == 0)
        return true;
    field[0] = '\0';
    if (LauncherState.StoreKey == NULL)
        return true;
    // Read into scratch space so that an oversized or unterminated value of any type is measured
    // against the field (and cut or dropped, never split inside a double-byte character)
    // instead of overrunning it.
    char scratch[kReadScratchSize];
    DWORD type = REG_NONE;
    DWORD size = sizeof(scratch);
    LONG result = RegQueryValueExA(LauncherState.StoreKey, name, NULL, &type,
                                   reinterpret_cast<BYTE*>(scratch), &size);
    StoredRead read = result == ERROR_SUCCESS     ? kStoredRead
                      : result == ERROR_MORE_DATA ? kStoredTooLarge
                                                  : kStoredMissing;
    return LoadStoredText(field, capacity, read, scratch, size, overlong, IsSystemLeadByte);
}

// Texts come from the table's fields, so no more than a target field's bytes are measured.
bool WriteStoreString(const char* name, const char* text) {
    DWORD size = static_cast<DWORD>(BoundedLength(text, kTargetSize - 1) + 1);
    return RegSetValueExA(LauncherState.StoreKey, name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text), size) == ERROR_SUCCESS;
}

bool WriteStoreDword(const char* name, int value) {
    DWORD data = static_cast<DWORD>(value);
    return RegSetValueExA(LauncherState.StoreKey, name, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof(data)) == ERROR_SUCCESS;
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

// One text of the save. `known` is what this terminal last loaded or wrote: a store that
// differs from it was changed by another writer since. A refused write leaves `known` as it
// was, so the value is tried again at the next close unless someone else changes it first.
static bool SaveText(const char* name, const char* text, bool sheetChanged, char* known,
                     unsigned long capacity, OverlongText overlong) {
    char stored[kTargetSize];
    ReadStoreString(name, stored, capacity, overlong);
    if (!ClosingWrites(sheetChanged, !SameStoredText(stored, known, capacity)))
        return true;
    if (!WriteStoreString(name, text))
        return false;
    CopyFitted(known, capacity, text, capacity, IsSystemLeadByte);
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
        const LaunchEntry& entry = table.entries[i];
        bool added = i >= openedCount;
        char name[16];
        FormatValueName(name, sizeof(name), "Title", i);
        saved &= SaveText(name, entry.title,
                          added || !SameStoredText(entry.title, opened[i].title, kTitleSize),
                          known.entries[i].title, kTitleSize, kCutOverlong);
        FormatValueName(name, sizeof(name), targetPrefix, i);
        saved &= SaveText(name, entry.target,
                          added || !SameStoredText(entry.target, opened[i].target, kTargetSize),
                          known.entries[i].target, kTargetSize, kDropOverlong);
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
