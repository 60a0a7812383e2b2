// Expanding %NAME% references over a whole script text.
#include <string.h>

#include "registrar/registrar.h"
#include "registrar/replacement_map.h"
#include "registrar/script_parser.h"
#include "server/convert.h"
#include "server/errors.h"

HRESULT CScriptParser::ExpandVariables(const char* text, char** out) {
  RETURN_HR_IF(E_POINTER, !text || !out);
  *out = nullptr;
  ExpandBuffer buffer;
  RETURN_IF_FAILED(buffer.Start(strlen(text)));
  for (const char* at = text; *at != '\0';) {
    if (*at != '%') {
      const char* next = NextCharacter(at);
      RETURN_IF_FAILED(buffer.Append(at, static_cast<size_t>(next - at)));
      at = next;
    } else if (at[1] == '%') {
      RETURN_IF_FAILED(buffer.Append(at, 1));
      at += 2;
    } else {
      RETURN_IF_FAILED(AppendVariable(&at, &buffer));
    }
  }
  *out = buffer.data.Detach();
  return S_OK;
}

HRESULT CScriptParser::AppendVariable(const char** at, ExpandBuffer* buffer) {
  const char* name = *at + 1;
  const char* end = name;
  while (*end != '\0' && *end != '%') end = NextCharacter(end);
  RETURN_HR_IF(DISP_E_EXCEPTION, *end == '\0');
  const size_t length = static_cast<size_t>(end - name);
  RETURN_HR_IF(E_FAIL, length >= kVariableNameBytes);
  char field[kVariableNameBytes];
  memcpy(field, name, length);
  field[length] = '\0';

  const wchar_t* value = registrar ? registrar->replacements.FindValue(field) : nullptr;
  RETURN_HR_IF_NULL(DISP_E_EXCEPTION, value);
  ConversionScratch scratch;
  const char* converted = NARROW_TEXT(scratch, value, GetConversionCodePage(), nullptr);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, converted);
  RETURN_IF_FAILED(buffer->Append(converted, strlen(converted)));
  *at = end + 1;
  return S_OK;
}
