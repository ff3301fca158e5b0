// The registry store (one current key under HKEY_CURRENT_USER) and the table load and save.
#pragma once
#include "stored_value.h"

constexpr const char* kFileKeyPath = "Software\\Koravi\\QuolixLaunch\\File";
constexpr const char* kScriptKeyPath = "Software\\Koravi\\QuolixLaunch\\Script";
constexpr const char* kHostConfigKeyPath = "Software\\Koravi\\Quolix95\\Config";

// Opens the key for writing, made if missing; where that is refused, for reading only.
void OpenStoreKey(const char* path);
void CloseStoreKey();
int ReadStoreDword(const char* name);
// Reads a text value into a field of `capacity` bytes, at least 1 (empty when missing); a text
// longer than the field is cut or dropped as `overlong` says. Returns false when it was longer.
bool ReadStoreString(const char* name, char* field, unsigned long capacity, OverlongText overlong);
// The writes say whether the value was stored.
bool WriteStoreString(const char* name, const char* text);
bool WriteStoreDword(const char* name, int value);

void LoadLaunchTables();
// Writes both tables as the settings sheet left them; the counts are those it opened with. A
// value another writer changed and the sheet did not is left as stored. False when a key could
// not be written or any value was refused.
bool SaveLaunchTables(int openedFileCount, int openedScriptCount);
