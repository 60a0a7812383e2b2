// CScriptParser: reads one registry script and applies it to the registry in
// the register or the unregister pass.
#ifndef BRISVEL_REGISTRAR_SCRIPT_PARSER_H_
#define BRISVEL_REGISTRAR_SCRIPT_PARSER_H_

#include <stddef.h>

#include "server/win32.h"

class CRegistrar;
class CRegistryKey;
struct ExpandBuffer;

// Bytes of every token buffer; a token holds at most kTokenLimit bytes
// before its last character.
const size_t kTokenBytes = 4096;
const size_t kTokenLimit = 4094;

// Bytes of a remembered key name or a value name with its terminator.
const size_t kNameFieldBytes = 260;

// Bytes of a variable name with its terminator.
const size_t kVariableNameBytes = 32;

// Key blocks nest no deeper than the platform's registry can.
const int kMaxKeyDepth = 512;

class CScriptParser {
 public:
  explicit CScriptParser(CRegistrar* owner) : registrar(owner) {}

  // Expands `text` and runs every root block of it in one pass.
  HRESULT RunScript(const char* text, bool doRegister);

  // Copies `text` into new task memory with every %NAME% replaced.
  HRESULT ExpandVariables(const char* text, char** out);

  // Steps `position` over tab, line feed, carriage return and space.
  void SkipBlanks();

  // Reads the next token into `token` (kTokenBytes); DISP_E_EXCEPTION on a syntax error.
  HRESULT NextToken(char* token);

  // Reads over an assignment when `token` holds "="; leaves the token after it.
  // Not inlined, like every member with a buffer of its own, so the buffers
  // stay out of the frames that nesting stacks up.
  __attribute__((noinline)) HRESULT SkipValueSpec(char* token);

  // False for a name on the protected list.
  static bool IsRemovableKey(const char* name);

  // Runs the entries of one block below `parentKey` up to its closing token.
  HRESULT ProcessBlock(char* token, CRegistryKey& parentKey, bool doRegister, bool skipping);

  // Writes the assignment that `token` ("=") starts as `valueName` of `key`.
  __attribute__((noinline)) HRESULT WriteValue(CRegistryKey& key, const char* valueName,
                                               char* token);

  const char* position = nullptr;
  CRegistrar* registrar;

 private:
  struct BlockLevel;

  HRESULT RunRootBlock(char* token, bool doRegister);
  HRESULT ReadBlock(char* token, CRegistryKey& parentKey, bool doRegister, bool skipping);
  HRESULT RegisterEntry(char* token, CRegistryKey& parentKey, BlockLevel* level);
  HRESULT UnregisterEntry(char* token, CRegistryKey& parentKey, bool skipping, BlockLevel* level);
  HRESULT ReadValueName(char* token, char* valueName);
  __attribute__((noinline)) HRESULT DeleteKeyByName(CRegistryKey& parentKey,
                                                    const BlockLevel& level);
  HRESULT AppendCharacter(char* token, size_t* stored);
  HRESULT AppendVariable(const char** at, ExpandBuffer* buffer);

  // Where the most recent token began in the text.
  const char* tokenStart = nullptr;
  // Blocks open at the moment.
  int depth = 0;
};

// The character after the one at `at` (not the terminator): one or two bytes on.
const char* NextCharacter(const char* at);

#endif  // BRISVEL_REGISTRAR_SCRIPT_PARSER_H_
