// Reading tokens: whitespace, quoting and the capacity of a token.
#include <string.h>

#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "server/errors.h"
#include "server/platform.h"

namespace {

bool IsBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

}  // namespace

const char* NextCharacter(const char* at) {
  const char* next = g_platform.CharNextA(at);
  // A lead byte just before the terminator, or a stepper that goes astray,
  // must never carry reading past the end of the text: a character is one
  // byte, or two when the second is not the terminator.
  if (next <= at || next > at + 2 || (next == at + 2 && at[1] == '\0')) return at + 1;
  return next;
}

void CScriptParser::SkipBlanks() {
  // Blanks are single bytes that no double-byte code page uses as lead bytes.
  while (IsBlank(*position)) ++position;
}

HRESULT CScriptParser::AppendCharacter(char* token, size_t* stored) {
  RETURN_HR_IF(DISP_E_EXCEPTION, *stored >= kTokenLimit);
  const char* next = NextCharacter(position);
  const size_t size = static_cast<size_t>(next - position);
  memcpy(token + *stored, position, size);
  *stored += size;
  token[*stored] = '\0';
  position = next;
  return S_OK;
}

HRESULT CScriptParser::NextToken(char* token) {
  token[0] = '\0';
  SkipBlanks();
  tokenStart = position;
  RETURN_HR_IF(DISP_E_EXCEPTION, *position == '\0');
  size_t stored = 0;
  if (*position != '\'') {
    while (*position != '\0' && !IsBlank(*position)) {
      RETURN_IF_FAILED(AppendCharacter(token, &stored));
    }
    return S_OK;
  }
  position = NextCharacter(position);
  for (;;) {
    RETURN_HR_IF(DISP_E_EXCEPTION, *position == '\0');
    if (*position == '\'') {
      const char* after = NextCharacter(position);
      position = after;
      // A doubled apostrophe stands for one; a single one closes the token.
      if (*after != '\'') return S_OK;
    }
    RETURN_IF_FAILED(AppendCharacter(token, &stored));
  }
}

HRESULT CScriptParser::SkipValueSpec(char* token) {
  if (token[0] != '=') return S_OK;
  RETURN_IF_FAILED(NextToken(token));
  SkipBlanks();
  char value[kTokenBytes];
  RETURN_IF_FAILED(NextToken(value));
  return NextToken(token);
}

bool CScriptParser::IsRemovableKey(const char* name) {
  for (const char* protectedName : ProtectedKeyList) {
    if (IsKeyword(name, protectedName)) return false;
  }
  return true;
}
