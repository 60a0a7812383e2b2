// Writing the value of an assignment, by the kind its type letter names.
#include <string.h>

#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "server/convert.h"
#include "server/errors.h"
#include "server/platform.h"

namespace {

// Values of "B" and "M" data up to this size stay off the heap.
using CValueBuffer = CInlineBuffer<256>;

BYTE HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
  return 0;
}

char* AllocateOrNull(CValueBuffer& buffer, size_t bytes) {
  try {
    return buffer.Allocate(bytes);
  } catch (...) {
    return nullptr;
  }
}

HRESULT WriteNumber(CRegistryKey& key, const char* name, const char* text) {
  ConversionScratch scratch;
  wchar_t* wide = WIDEN_TEXT(scratch, text, GetConversionCodePage());
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, wide);
  // A text the number parser refuses is written as 0, whatever the parser
  // left behind.
  ULONG number = 0;
  if (FAILED(g_platform.VarUI4FromStr(wide, 0, 0, &number))) number = 0;
  return HResultFromWin32(key.WriteDword(name, number));
}

HRESULT WriteBinary(CRegistryKey& key, const char* name, const char* text) {
  const size_t length = strlen(text);
  RETURN_HR_IF(E_FAIL, length % 2 != 0);
  CValueBuffer buffer;
  char* bytes = AllocateOrNull(buffer, length / 2);
  RETURN_HR_IF_NULL(E_FAIL, bytes);
  memset(bytes, 0, length / 2);
  for (size_t i = 0; i < length; ++i) {
    bytes[i / 2] = static_cast<char>(bytes[i / 2] + (HexDigitValue(text[i]) << (i % 2 ? 0 : 4)));
  }
  return HResultFromWin32(key.WriteBinary(name, bytes, length / 2));
}

HRESULT WriteMultiString(CRegistryKey& key, const char* name, const char* text) {
  CValueBuffer buffer;
  char* data = AllocateOrNull(buffer, strlen(text) + 2);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, data);
  char* out = data;
  for (const char* at = text; *at != '\0';) {
    if (at[0] == '\\' && at[1] == '0') {
      *out++ = '\0';
      at += 2;
      continue;
    }
    // A trail byte is never taken for the backslash of a separator.
    if (g_platform.IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != '\0') *out++ = *at++;
    *out++ = *at++;
  }
  out[0] = '\0';
  out[1] = '\0';
  return HResultFromWin32(key.WriteMultiString(name, data));
}

}  // namespace

HRESULT CScriptParser::WriteValue(CRegistryKey& key, const char* valueName, char* token) {
  char value[kTokenBytes];
  RETURN_IF_FAILED(NextToken(value));
  const ValueKindEntry* kind = LookupValueKind(value);
  RETURN_HR_IF_NULL(DISP_E_EXCEPTION, kind);
  SkipBlanks();
  RETURN_IF_FAILED(NextToken(value));
  switch (kind->kind) {
    case kValueString:
      RETURN_IF_WIN32_ERROR(key.WriteString(valueName, value, kind->registryType));
      break;
    case kValueNumber:
      RETURN_IF_FAILED(WriteNumber(key, valueName, value));
      break;
    case kValueBinary:
      RETURN_IF_FAILED(WriteBinary(key, valueName, value));
      break;
    case kValueMultiString:
      RETURN_IF_FAILED(WriteMultiString(key, valueName, value));
      break;
  }
  return NextToken(token);
}
