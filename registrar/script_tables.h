// The fixed vocabulary of the registry script language: root keys, value
// type letters, keywords, and the key names that are never force-removed.
#ifndef BRISVEL_REGISTRAR_SCRIPT_TABLES_H_
#define BRISVEL_REGISTRAR_SCRIPT_TABLES_H_

#include <stddef.h>

#include "server/win32.h"

// A root name of a script and the predefined handle it stands for.
struct RootKeyEntry {
  const char* name;
  HKEY handle;
};

// The kind of value a type letter names; the interpreter switches on it.
enum ValueKind : VARTYPE {
  kValueString = VT_BSTR,
  kValueMultiString = VT_BYREF | VT_BSTR,
  kValueNumber = VT_UI4,
  kValueBinary = VT_UI1,
};

// A type letter of an assignment and the registry type it writes.
struct ValueKindEntry {
  const char* letter;
  ValueKind kind;
  DWORD registryType;
};

extern const RootKeyEntry RootKeyTable[14];
extern const ValueKindEntry ValueKindTable[4];
extern const char* const ProtectedKeyList[12];

// The keywords, compared with whole tokens in any case.
extern const char kKeywordForceRemove[];
extern const char kKeywordNoRemove[];
extern const char kKeywordDelete[];
extern const char kKeywordVal[];

// True when `token` equals `word`, compared case-insensitively.
bool IsKeyword(const char* token, const char* word);

// The predefined handle a root name stands for; null for a name not in the table.
HKEY LookupRootKey(const char* name);

// The row of a type letter; null for a letter not in the table.
const ValueKindEntry* LookupValueKind(const char* letter);

#endif  // BRISVEL_REGISTRAR_SCRIPT_TABLES_H_
