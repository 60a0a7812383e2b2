#include "registrar/script_tables.h"

#include "server/platform.h"

const RootKeyEntry RootKeyTable[14] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

const ValueKindEntry ValueKindTable[4] = {
    {"S", kValueString, REG_SZ},
    {"M", kValueMultiString, REG_MULTI_SZ},
    {"D", kValueNumber, REG_DWORD},
    {"B", kValueBinary, REG_BINARY},
};

const char* const ProtectedKeyList[12] = {
    "AppID", "CLSID",    "Component Categories", "FileType", "Interface", "Hardware",
    "Mime",  "SAM",      "SECURITY",             "SYSTEM",   "Software",  "TypeLib",
};

const char kKeywordForceRemove[] = "ForceRemove";
const char kKeywordNoRemove[] = "NoRemove";
const char kKeywordDelete[] = "Delete";
const char kKeywordVal[] = "Val";

bool IsKeyword(const char* token, const char* word) {
  return g_platform.lstrcmpiA(token, word) == 0;
}

HKEY LookupRootKey(const char* name) {
  for (const RootKeyEntry& entry : RootKeyTable) {
    if (IsKeyword(name, entry.name)) return entry.handle;
  }
  return nullptr;
}

const ValueKindEntry* LookupValueKind(const char* letter) {
  for (const ValueKindEntry& entry : ValueKindTable) {
    if (IsKeyword(letter, entry.letter)) return &entry;
  }
  return nullptr;
}
