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

static void LoadTable(const char* path, const char* targetPrefix, LaunchTable& table) {
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
}

// Every value is written even after one was refused: what can be stored is, and nothing else
// is touched for the failure.
static bool SaveTable(const char* path, const char* targetPrefix, const LaunchTable& table) {
    OpenStoreKey(path);
    bool saved = WriteStoreDword("Count", table.count);
    for (int i = 0; i < table.count; ++i) {
        char name[16];
        FormatValueName(name, sizeof(name), "Title", i);
        saved &= WriteStoreString(name, table.entries[i].title);
        FormatValueName(name, sizeof(name), targetPrefix, i);
        saved &= WriteStoreString(name, table.entries[i].target);
    }
    CloseStoreKey();
    return saved;
}

void LoadLaunchTables() {
    LoadTable(kFileKeyPath, "Command", LauncherState.FileTable);
    LoadTable(kScriptKeyPath, "ScriptFile", LauncherState.ScriptTable);
}

bool SaveLaunchTables() {
    bool files = SaveTable(kFileKeyPath, "Command", LauncherState.FileTable);
    return SaveTable(kScriptKeyPath, "ScriptFile", LauncherState.ScriptTable) && files;
}
