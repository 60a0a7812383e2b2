// The register and the unregister pass over the root blocks of a script.
#include <string.h>

#include "registrar/registry_key.h"
#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "server/convert.h"
#include "server/errors.h"

namespace {

// Stack one more level may need: its own frame and the buffers of the
// value write or token skip that a leaf runs.
const size_t kLevelStackBytes = 3 * kTokenBytes;

// A key name names one level below its parent. A backslash would reach
// deeper, and an empty name stands for the parent itself, which a removal
// would then delete with everything below it, a kept or root key included.
bool NamesOneKey(const char* name) {
  if (*name == '\0') return false;
  for (const char* at = name; *at != '\0'; at = NextCharacter(at)) {
    if (*at == '\\') return false;
  }
  return true;
}

bool IsBlockOpener(const char* token) { return strcmp(token, "{") == 0; }

// Creating opens an existing key for reading and writing too, so one call
// to the registry serves both a new and a writable key. A key that refuses
// writing is still opened for reading, so that writing its value is what
// reports the refusal; a key that can be neither reports the create's code.
LONG OpenOrCreateKey(CRegistryKey& key, HKEY parent, const char* name) {
  const LONG created = key.CreateKey(parent, name);
  if (created == ERROR_SUCCESS) return ERROR_SUCCESS;
  if (key.OpenKey(parent, name, KEY_READ) == ERROR_SUCCESS) return ERROR_SUCCESS;
  return created;
}

HRESULT DeleteNamedValue(CRegistryKey& parentKey, const char* name) {
  CRegistryKey writable;
  RETURN_IF_WIN32_ERROR(writable.OpenKey(parentKey.Get(), nullptr, KEY_WRITE));
  const LONG code = writable.DeleteValue(name);
  RETURN_HR_IF(HResultFromWin32(code), code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND);
  return S_OK;
}

}  // namespace

// What one nesting level keeps while it reads its entries.
struct CScriptParser::BlockLevel {
  CRegistryKey currentKey;
  bool kept = false;
  // The first bytes of the entry's key name; `keyNameAt` finds all of it.
  char keyName[kNameFieldBytes] = {};
  const char* keyNameAt = nullptr;
  char valueName[kNameFieldBytes] = {};
};

HRESULT CScriptParser::RunScript(const char* text, bool doRegister) {
  CTaskMem<char> expanded;
  RETURN_IF_FAILED(ExpandVariables(text, expanded.Receive()));
  position = expanded.Get();
  char token[kTokenBytes];
  for (SkipBlanks(); *position != '\0'; SkipBlanks()) {
    RETURN_IF_FAILED(RunRootBlock(token, doRegister));
  }
  return S_OK;
}

HRESULT CScriptParser::RunRootBlock(char* token, bool doRegister) {
  RETURN_IF_FAILED(NextToken(token));
  CBorrowedKey root(LookupRootKey(token));
  RETURN_HR_IF_NULL(DISP_E_EXCEPTION, root.Key().Get());
  RETURN_IF_FAILED(NextToken(token));
  RETURN_HR_IF(DISP_E_EXCEPTION, token[0] != '{');
  if (!doRegister) return ProcessBlock(token, root.Key(), false, false);

  const char* blockStart = position;
  const HRESULT result = ProcessBlock(token, root.Key(), true, false);
  if (SUCCEEDED(result)) return result;
  // The block's own entries are removed again; how far that gets is not
  // reported, the register failure is.
  position = blockStart;
  ProcessBlock(token, root.Key(), false, false);
  return result;
}

HRESULT CScriptParser::ProcessBlock(char* token, CRegistryKey& parentKey, bool doRegister,
                                    bool skipping) {
  // Nesting is bounded by the language and by the stack, so no script can
  // exhaust the thread's stack.
  RETURN_HR_IF(DISP_E_EXCEPTION, depth > kMaxKeyDepth);
  RETURN_HR_IF(E_OUTOFMEMORY, !CanGrowStack(kLevelStackBytes));
  ++depth;
  const HRESULT result = ReadBlock(token, parentKey, doRegister, skipping);
  --depth;
  return result;
}

HRESULT CScriptParser::ReadBlock(char* token, CRegistryKey& parentKey, bool doRegister,
                                 bool skipping) {
  BlockLevel level;
  RETURN_IF_FAILED(NextToken(token));
  while (token[0] != '}') {
    RETURN_IF_FAILED(doRegister ? RegisterEntry(token, parentKey, &level)
                                : UnregisterEntry(token, parentKey, skipping, &level));
  }
  return S_OK;
}

HRESULT CScriptParser::ReadValueName(char* token, char* valueName) {
  RETURN_IF_FAILED(NextToken(token));
  const size_t length = strlen(token);
  // A name the field cannot hold is refused rather than cut to another name.
  RETURN_HR_IF(DISP_E_EXCEPTION, length >= kNameFieldBytes);
  memcpy(valueName, token, length + 1);
  RETURN_IF_FAILED(NextToken(token));
  RETURN_HR_IF(DISP_E_EXCEPTION, token[0] != '=');
  return S_OK;
}

HRESULT CScriptParser::RegisterEntry(char* token, CRegistryKey& parentKey, BlockLevel* level) {
  level->kept = false;
  const bool deleting = IsKeyword(token, kKeywordDelete);
  if (deleting || IsKeyword(token, kKeywordForceRemove)) {
    RETURN_IF_FAILED(NextToken(token));
    RETURN_HR_IF(DISP_E_EXCEPTION, !NamesOneKey(token));
    // An absent key is no error.
    if (IsRemovableKey(token)) parentKey.DeleteTree(token);
    if (deleting) {
      RETURN_IF_FAILED(NextToken(token));
      RETURN_IF_FAILED(SkipValueSpec(token));
      // A block here would belong to no key of this entry.
      RETURN_HR_IF(DISP_E_EXCEPTION, IsBlockOpener(token));
      return S_OK;
    }
  }
  if (IsKeyword(token, kKeywordNoRemove)) {
    level->kept = true;
    RETURN_IF_FAILED(NextToken(token));
  }
  if (IsKeyword(token, kKeywordVal)) {
    RETURN_IF_FAILED(ReadValueName(token, level->valueName));
    RETURN_IF_FAILED(WriteValue(parentKey, level->valueName, token));
    RETURN_HR_IF(DISP_E_EXCEPTION, IsBlockOpener(token));
    return S_OK;
  }

  RETURN_HR_IF(DISP_E_EXCEPTION, !NamesOneKey(token));
  RETURN_IF_WIN32_ERROR(OpenOrCreateKey(level->currentKey, parentKey.Get(), token));
  RETURN_IF_FAILED(NextToken(token));
  if (token[0] == '=') RETURN_IF_FAILED(WriteValue(level->currentKey, nullptr, token));
  if (!IsBlockOpener(token)) return S_OK;
  RETURN_IF_FAILED(ProcessBlock(token, level->currentKey, true, false));
  return NextToken(token);
}

HRESULT CScriptParser::UnregisterEntry(char* token, CRegistryKey& parentKey, bool skipping,
                                       BlockLevel* level) {
  level->kept = false;
  if (IsKeyword(token, kKeywordDelete) || IsKeyword(token, kKeywordForceRemove)) {
    RETURN_IF_FAILED(NextToken(token));
  }
  if (IsKeyword(token, kKeywordNoRemove)) {
    level->kept = true;
    RETURN_IF_FAILED(NextToken(token));
  }
  if (IsKeyword(token, kKeywordVal)) {
    RETURN_IF_FAILED(ReadValueName(token, level->valueName));
    if (!skipping && !level->kept) RETURN_IF_FAILED(DeleteNamedValue(parentKey, level->valueName));
    RETURN_IF_FAILED(SkipValueSpec(token));
    RETURN_HR_IF(DISP_E_EXCEPTION, IsBlockOpener(token));
    return S_OK;
  }

  RETURN_HR_IF(DISP_E_EXCEPTION, !NamesOneKey(token));
  const LONG opened =
      skipping ? ERROR_FILE_NOT_FOUND : level->currentKey.OpenKey(parentKey.Get(), token, KEY_READ);
  const size_t length = strnlen(token, kNameFieldBytes - 1);
  memcpy(level->keyName, token, length);
  level->keyName[length] = '\0';
  level->keyNameAt = token[length] == '\0' ? nullptr : tokenStart;

  RETURN_IF_FAILED(NextToken(token));
  RETURN_IF_FAILED(SkipValueSpec(token));
  if (token[0] == '{') {
    const bool skipBlock = opened != ERROR_SUCCESS;
    const HRESULT result = ProcessBlock(token, level->currentKey, false, skipBlock);
    // Nothing of a skipped block touches the registry, so its failure changes
    // nothing and reading goes on from where it stopped.
    if (!skipBlock) RETURN_IF_FAILED(result);
    RETURN_IF_FAILED(NextToken(token));
  }
  if (opened == ERROR_FILE_NOT_FOUND) return S_OK;
  RETURN_IF_WIN32_ERROR(opened);
  RETURN_IF_WIN32_ERROR(level->currentKey.CloseKey());
  if (level->kept) return S_OK;
  return DeleteKeyByName(parentKey, *level);
}

HRESULT CScriptParser::DeleteKeyByName(CRegistryKey& parentKey, const BlockLevel& level) {
  if (!level.keyNameAt) {
    RETURN_IF_WIN32_ERROR(parentKey.DeleteKey(level.keyName));
    return S_OK;
  }
  // A name longer than the field is read again from the text: a cut name
  // would delete some other key. Reading resumes where it was, and the token
  // read before stays the most recent one: the next entry may be that token.
  char name[kTokenBytes];
  const char* resume = position;
  const char* resumeToken = tokenStart;
  position = level.keyNameAt;
  const HRESULT read = NextToken(name);
  position = resume;
  tokenStart = resumeToken;
  RETURN_IF_FAILED(read);
  RETURN_IF_WIN32_ERROR(parentKey.DeleteKey(name));
  return S_OK;
}
