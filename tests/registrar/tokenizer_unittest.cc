// Reading registry scripts token by token: quoting, whitespace, the capacity
// of a token in single- and double-byte text, assignments, and the tables of
// root names, type letters and protected keys.
#include <gtest/gtest.h>

#include <string>

#include "registrar/script_parser.h"
#include "registrar/script_tables.h"
#include "support/case_name.h"
#include "support/double_byte_code_page.h"

namespace {

// Every token of `text` in brackets, then "!" and the code of a failed read.
std::string ReadAll(const std::string& text) {
  CScriptParser parser(nullptr);
  parser.position = text.c_str();
  std::string tokens;
  char token[kTokenBytes];
  for (parser.SkipBlanks(); *parser.position; parser.SkipBlanks()) {
    const HRESULT result = parser.NextToken(token);
    if (FAILED(result)) return tokens + "!" + std::to_string(result);
    tokens += "[" + std::string(token) + "]";
  }
  return tokens;
}

const std::string kSyntaxError = "!" + std::to_string(DISP_E_EXCEPTION);

struct TokenCase {
  const char* text;
  std::string tokens;
};

const TokenCase kTokenCases[] = {
    {"'it''s'", "[it's]"},
    {"''", "[]"},
    {"'''", kSyntaxError},
    {"''''", "[']"},
    {"'it''", kSyntaxError},
    {"'a b'", "[a b]"},
    {"a b", "[a][b]"},
    {"don't", "[don't]"},
    {"a'b c'", "[a'b][c']"},
    {"'line\r\nbreak\tand tab'", "[line\r\nbreak\tand tab]"},
    {"'{ = } \\'", "[{ = } \\]"},
    {"'a'b", "[a][b]"},
    {"'unterminated", kSyntaxError},
    {"'unterminated\r\n}", kSyntaxError},
    {"a\vb", "[a\vb]"},
    {"a\fb", "[a\fb]"},
    {"\t\r\n a \t\r\n", "[a]"},
    {"a=b {x HKCR{ }y", "[a=b][{x][HKCR{][}y]"},
    {"", ""},
    {" \t\r\n", ""},
};

class TokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenTest, ReadsTheTokensOfTheText) {
  EXPECT_EQ(GetParam().tokens, ReadAll(GetParam().text)) << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, TokenTest, ::testing::ValuesIn(kTokenCases));

TEST(NextTokenTest, AtTheEndOfTheTextATokenIsMissing) {
  CScriptParser parser(nullptr);
  parser.position = "  \r\n";
  char token[kTokenBytes];
  EXPECT_EQ(DISP_E_EXCEPTION, parser.NextToken(token));
}

TEST(NextTokenTest, LeavesThePositionJustPastTheToken) {
  CScriptParser parser(nullptr);
  const char text[] = "  'a''b'  next";
  parser.position = text;
  char token[kTokenBytes];
  ASSERT_EQ(S_OK, parser.NextToken(token));
  EXPECT_STREQ("a'b", token);
  EXPECT_EQ(text + 8, parser.position);
}

struct CapacityCase {
  const char* name;
  size_t singleBytes;   // characters of one byte
  int doubleBytes;      // then this many characters of two bytes
  bool quoted;
  bool accepted;
};

const CapacityCase kCapacityCases[] = {
    {"4094 bytes", 4094, 0, false, true},
    {"4095 bytes", 4095, 0, false, false},
    {"4093 bytes and a double-byte character", 4093, 1, false, true},
    {"4094 bytes and a double-byte character", 4094, 1, false, false},
    {"4092 bytes and a double-byte character", 4092, 1, false, true},
    {"quoted 4094 bytes", 4094, 0, true, true},
    {"quoted 4095 bytes", 4095, 0, true, false},
    {"quoted 4093 bytes and a double-byte character", 4093, 1, true, true},
    {"2047 double-byte characters", 0, 2047, false, true},
    {"2048 double-byte characters", 0, 2048, false, false},
};

class CapacityTest : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(CapacityTest, RefusesACharacterAppendedTo4094StoredBytes) {
  ScopedDoubleByteCodePage japanese;
  const CapacityCase& c = GetParam();
  std::string body(c.singleBytes, 'a');
  for (int i = 0; i < c.doubleBytes; ++i) body += kTrailBackslash;
  const std::string text = c.quoted ? "'" + body + "' next" : body + " next";

  CScriptParser parser(nullptr);
  parser.position = text.c_str();
  char token[kTokenBytes + 16];
  memset(token, 'X', sizeof token);
  const HRESULT result = parser.NextToken(token);
  if (!c.accepted) {
    EXPECT_EQ(DISP_E_EXCEPTION, result);
  } else {
    ASSERT_EQ(S_OK, result);
    EXPECT_EQ(body, std::string(token));
    ASSERT_EQ(S_OK, parser.NextToken(token));
    EXPECT_STREQ("next", token);
  }
  // Nothing is ever written past the 4096 bytes of the buffer.
  for (size_t i = kTokenBytes; i < sizeof token; ++i) EXPECT_EQ('X', token[i]);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CapacityTest, ::testing::ValuesIn(kCapacityCases), CaseName());

struct DoubleByteCase {
  std::string text;
  std::string tokens;
};

// Trail bytes that equal an apostrophe-free structural byte never count as
// one; a lead byte at the very end is a character of its own.
TEST(DoubleByteTest, TestsOnlyTheFirstByteOfEachCharacter) {
  ScopedDoubleByteCodePage japanese;
  const DoubleByteCase cases[] = {
      {std::string("'") + kTrailBackslash + "'", std::string("[") + kTrailBackslash + "]"},
      {"a\x81}b", "[a\x81}b]"},
      {"\x81}", "[\x81}]"},
      {"'a\x95", kSyntaxError},
      {"a\x95", "[a\x95]"},
      // The lead byte takes the apostrophe as its trail byte, so the quote stays open.
      {"'a\x95' b", kSyntaxError},
  };
  for (const DoubleByteCase& c : cases) EXPECT_EQ(c.tokens, ReadAll(c.text)) << c.text;
}

TEST(SkipBlanksTest, SkipsExactlyTabLineFeedCarriageReturnAndSpace) {
  CScriptParser parser(nullptr);
  const char text[] = "\t\n\r \v x";
  parser.position = text;
  parser.SkipBlanks();
  EXPECT_EQ(text + 4, parser.position);
}

struct ValueSpecCase {
  const char* text;     // what follows the token already read
  const char* first;    // the token already read
  HRESULT result;
  const char* after;    // the token left in the buffer
};

const ValueSpecCase kValueSpecCases[] = {
    {"s 'Vintaro Agent' next", "=", S_OK, "next"},
    {"SZ 'x' next", "=", S_OK, "next"},
    {"d 42\r\n\tnext", "=", S_OK, "next"},
    {"s 'v' next", "=x", S_OK, "next"},
    {"s 'x' next", "name", S_OK, "name"},
    {"s 'x'", "=", DISP_E_EXCEPTION, nullptr},
    {"s", "=", DISP_E_EXCEPTION, nullptr},
    {"s 'open", "=", DISP_E_EXCEPTION, nullptr},
};

class ValueSpecTest : public ::testing::TestWithParam<ValueSpecCase> {};

TEST_P(ValueSpecTest, ReadsOverAnAssignmentOnly) {
  const ValueSpecCase& c = GetParam();
  CScriptParser parser(nullptr);
  parser.position = c.text;
  char token[kTokenBytes];
  strcpy(token, c.first);
  EXPECT_EQ(c.result, parser.SkipValueSpec(token));
  if (c.after) {
    EXPECT_STREQ(c.after, token);
  }
  if (c.first[0] != '=') {
    EXPECT_EQ(c.text, parser.position);
  }
}

INSTANTIATE_TEST_SUITE_P(Assignments, ValueSpecTest, ::testing::ValuesIn(kValueSpecCases));

TEST(ProtectedKeyTest, ProtectsExactlyTheListedNamesInAnyCase) {
  for (const char* name : ProtectedKeyList) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_FALSE(CScriptParser::IsRemovableKey(name)) << name;
    EXPECT_FALSE(CScriptParser::IsRemovableKey(lower.c_str())) << lower;
  }
  for (const char* name : {"CLSIDs", "App ID", "Classes", "", "Component"}) {
    EXPECT_TRUE(CScriptParser::IsRemovableKey(name)) << name;
  }
}

TEST(RootKeyTest, FindsEveryRootByEitherNameInAnyCase) {
  const struct {
    const char* name;
    HKEY handle;
  } cases[] = {
      {"HKCR", HKEY_CLASSES_ROOT},         {"hkcr", HKEY_CLASSES_ROOT},
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"hkey_classes_root", HKEY_CLASSES_ROOT},
      {"HKCU", HKEY_CURRENT_USER},          {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKLM", HKEY_LOCAL_MACHINE},         {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {"HKU", HKEY_USERS},                  {"HKEY_USERS", HKEY_USERS},
      {"HKPD", HKEY_PERFORMANCE_DATA},      {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
      {"HKDD", HKEY_DYN_DATA},              {"HKEY_DYN_DATA", HKEY_DYN_DATA},
      {"HKCC", HKEY_CURRENT_CONFIG},        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
      {"HKEY_CLASS_ROOT", nullptr},         {"HKCR{", nullptr},
      {"HKC", nullptr},                     {"", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(c.handle, LookupRootKey(c.name)) << c.name;
}

TEST(ValueKindTest, TakesOneLetterInAnyCase) {
  const struct {
    const char* letter;
    DWORD registryType;  // 0: not a type letter
  } cases[] = {
      {"S", REG_SZ}, {"s", REG_SZ}, {"M", REG_MULTI_SZ}, {"m", REG_MULTI_SZ},
      {"D", REG_DWORD}, {"d", REG_DWORD}, {"B", REG_BINARY}, {"b", REG_BINARY},
      {"SZ", 0}, {"x", 0}, {"", 0}, {"DWORD", 0},
  };
  for (const auto& c : cases) {
    const ValueKindEntry* entry = LookupValueKind(c.letter);
    EXPECT_EQ(c.registryType, entry ? entry->registryType : 0u) << c.letter;
  }
}

}  // namespace
