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

// Loads both tables at attach; they are empty before.
void LoadLaunchTables();
// Before the settings sheet opens: each table takes in what another writer (another terminal, a
// hand edit) saved since this terminal last loaded or wrote the store, and the sheet opens on it.
void RefreshLaunchTables();
// Writes both tables as the settings sheet left them. An entry another writer changed since and
// the sheet did not is left as stored, title and target alike. False when a key could not be
// written or any value was refused.
bool SaveLaunchTables();
