// The registry store (one current key under HKEY_CURRENT_USER) and the table load and save.
#pragma once
#include "stored_value.h"

constexpr const char* kFileKeyPath = "Software\\Koravi\\QuolixLaunch\\File";
constexpr const char* kScriptKeyPath = "Software\\Koravi\\QuolixLaunch\\Script";
constexpr const char* kHostConfigKeyPath = "Software\\Koravi\\Quolix95\\Config";

void OpenStoreKey(const char* path);
void CloseStoreKey();
int ReadStoreDword(const char* name);
// Reads a text value into a field of `capacity` bytes (empty when missing); a text longer than
// the field is cut or dropped as `overlong` says. Returns false when it was longer.
bool ReadStoreString(const char* name, char* field, unsigned long capacity, OverlongText overlong);
void WriteStoreString(const char* name, const char* text);
void WriteStoreDword(const char* name, int value);

void LoadLaunchTables();
void SaveLaunchTables();
