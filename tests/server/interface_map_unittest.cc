// The interface-table walker over test-only tables that mix offset, named
// function and blind entries: what it hands out, which handlers it asks,
// and where it stops.
#include <gtest/gtest.h>

#include <vector>

#include "server/interface_map.h"
#include "support/case_name.h"

namespace {

// One interface of the probe object; counts the references taken on it.
class Face : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }

  ULONG references = 0;
};

// An object with two interfaces at different offsets.
struct Probe {
  Face faces[2];

  DWORD OffsetOf(int face) const {
    return static_cast<DWORD>(reinterpret_cast<const char*>(&faces[face]) -
                              reinterpret_cast<const char*>(this));
  }
};

const IID kFirst = {0x8A6C0001, 0x1111, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
const IID kSecond = {0x8A6C0002, 0x1111, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};
const IID kThird = {0x8A6C0003, 0x1111, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x03}};

// What the handlers were asked, and what each of them answers: a handler's
// data is its index into the answers.
struct HandlerCall {
  void* object;
  IID iid;
  DWORD data;
};
std::vector<HandlerCall> g_calls;
std::vector<HRESULT> g_answers;
int g_handlerObject;  // what a handler answering S_OK hands out

HRESULT RecordingHandler(void* object, REFIID iid, void** out, DWORD data) {
  g_calls.push_back({object, iid, data});
  const HRESULT answer = g_answers[data];
  // A handler that does not answer may leave anything behind.
  *out = answer == S_OK ? static_cast<void*>(&g_handlerObject) : reinterpret_cast<void*>(0xBAD);
  return answer;
}

enum Kind { kOffset, kFunction };

// An entry as a case states it: an offset entry names a face of the probe,
// a function entry the answer of its handler.
struct EntryShape {
  Kind kind;
  const IID* iid;  // null: blind
  int face;
  HRESULT answer;
};

EntryShape Offset(const IID* iid, int face) { return {kOffset, iid, face, S_OK}; }
EntryShape Function(const IID* iid, HRESULT answer) { return {kFunction, iid, 0, answer}; }

const int kNothing = -1;
const int kHandlerAnswer = 2;

struct WalkCase {
  const char* name;
  std::vector<EntryShape> entries;
  const IID* request;
  HRESULT expected;
  int handedOut;                 // a face, kHandlerAnswer or kNothing
  std::vector<DWORD> handlers;   // the handlers asked, in order
};

class WalkTest : public ::testing::TestWithParam<WalkCase> {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_answers.clear();
    for (const EntryShape& shape : GetParam().entries) {
      if (shape.kind == kOffset) {
        table_.push_back({shape.iid, probe_.OffsetOf(shape.face), kOffsetEntry});
        continue;
      }
      table_.push_back({shape.iid, static_cast<DWORD>(g_answers.size()), RecordingHandler});
      g_answers.push_back(shape.answer);
    }
    table_.push_back({&kThird, 0, nullptr});  // the end, whatever it names
  }

  Probe probe_;
  std::vector<InterfaceMapEntry> table_;
};

const WalkCase kWalkCases[] = {
    {"IUnknown is the first entry whatever it names",
     {Offset(&kFirst, 1), Offset(&kSecond, 0)}, &IID_IUnknown, S_OK, 1, {}},
    {"IUnknown never asks a handler",
     {Offset(&kFirst, 0), Function(nullptr, S_OK)}, &IID_IUnknown, S_OK, 0, {}},
    {"offset entry found by its identifier",
     {Offset(&kFirst, 0), Offset(&kSecond, 1)}, &kSecond, S_OK, 1, {}},
    {"identifier in no entry", {Offset(&kFirst, 0), Offset(&kSecond, 1)}, &kThird, E_NOINTERFACE,
     kNothing, {}},
    {"the end entry is no entry", {Offset(&kFirst, 0)}, &kThird, E_NOINTERFACE, kNothing, {}},
    {"named handler answers and later entries are not asked",
     {Offset(&kFirst, 0), Function(&kSecond, S_OK), Function(&kSecond, S_OK)}, &kSecond, S_OK,
     kHandlerAnswer, {0}},
    {"named handler is not asked for another identifier",
     {Offset(&kFirst, 0), Function(&kSecond, S_OK)}, &kThird, E_NOINTERFACE, kNothing, {}},
    {"failure of a named handler is final",
     {Offset(&kFirst, 0), Function(&kSecond, E_ACCESSDENIED), Offset(&kSecond, 1)}, &kSecond,
     E_ACCESSDENIED, kNothing, {0}},
    {"success other than S_OK goes on to the next entry",
     {Offset(&kFirst, 0), Function(&kSecond, S_FALSE), Function(&kSecond, S_OK)}, &kSecond, S_OK,
     kHandlerAnswer, {0, 1}},
    {"failure of a blind handler goes on to the next entry",
     {Offset(&kFirst, 0), Function(nullptr, E_FAIL), Offset(&kSecond, 1)}, &kSecond, S_OK, 1,
     {0}},
    {"blind handlers are asked for any identifier",
     {Offset(&kFirst, 0), Function(nullptr, S_FALSE), Function(nullptr, E_FAIL)}, &kThird,
     E_NOINTERFACE, kNothing, {0, 1}},
    {"blind handler answers an identifier no entry names",
     {Offset(&kFirst, 0), Function(nullptr, S_OK)}, &kThird, S_OK, kHandlerAnswer, {0}},
    {"blind offset entry answers any identifier",
     {Offset(&kFirst, 0), Offset(nullptr, 1), Offset(&kThird, 0)}, &kThird, S_OK, 1, {}},
};

TEST_P(WalkTest, HandsOutWhatTheFirstMatchingEntryAnswers) {
  const WalkCase& c = GetParam();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(c.expected, QueryInterfaceFromTable(&probe_, table_.data(), *c.request, &out));

  const void* expectedOut = nullptr;
  if (c.handedOut == kHandlerAnswer) expectedOut = &g_handlerObject;
  if (c.handedOut >= 0 && c.handedOut < 2) expectedOut = &probe_.faces[c.handedOut];
  EXPECT_EQ(expectedOut, out);
  for (int face = 0; face < 2; ++face) {
    EXPECT_EQ(face == c.handedOut ? 1u : 0u, probe_.faces[face].references) << "face " << face;
  }

  std::vector<DWORD> asked;
  for (const HandlerCall& call : g_calls) {
    asked.push_back(call.data);
    EXPECT_EQ(static_cast<void*>(&probe_), call.object);
    EXPECT_TRUE(IsEqualIID(*c.request, call.iid));
  }
  EXPECT_EQ(c.handlers, asked);
}

INSTANTIATE_TEST_SUITE_P(Tables, WalkTest, ::testing::ValuesIn(kWalkCases), CaseName());

TEST(WalkArgumentsTest, NullArgumentsAreRefusedBeforeAnythingIsTouched) {
  Probe probe;
  g_calls.clear();
  g_answers = {S_OK};
  const InterfaceMapEntry table[] = {
      {&kFirst, 0, kOffsetEntry}, {nullptr, 0, RecordingHandler}, {nullptr, 0, nullptr}};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_INVALIDARG, QueryInterfaceFromTable(nullptr, table, kFirst, &out));
  EXPECT_EQ(E_INVALIDARG, QueryInterfaceFromTable(&probe, nullptr, kFirst, &out));
  EXPECT_EQ(E_INVALIDARG, QueryInterfaceFromTable(nullptr, table, kFirst, nullptr));
  EXPECT_EQ(reinterpret_cast<void*>(1), out);
  EXPECT_EQ(E_POINTER, QueryInterfaceFromTable(&probe, table, kSecond, nullptr));
  EXPECT_EQ(E_POINTER, QueryInterfaceFromTable(&probe, table, IID_IUnknown, nullptr));
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(0u, probe.faces[0].references);
}

TEST(WalkArgumentsTest, HandlerReceivesItsEntrysData) {
  Probe probe;
  g_calls.clear();
  g_answers.assign(8, S_FALSE);
  g_answers[7] = S_OK;
  const InterfaceMapEntry table[] = {
      {&kFirst, 0, kOffsetEntry}, {&kSecond, 7, RecordingHandler}, {nullptr, 0, nullptr}};
  void* out = nullptr;
  EXPECT_EQ(S_OK, QueryInterfaceFromTable(&probe, table, kSecond, &out));
  ASSERT_EQ(1u, g_calls.size());
  EXPECT_EQ(7u, g_calls[0].data);
}

struct IdentifierCase {
  GUID left;
  GUID right;
  bool same;
};

class IdentifierTest : public ::testing::TestWithParam<IdentifierCase> {};

TEST_P(IdentifierTest, ComparesAllSixteenBytes) {
  EXPECT_EQ(GetParam().same, IsSameIdentifier(GetParam().left, GetParam().right));
  EXPECT_EQ(GetParam().same, IsSameIdentifier(GetParam().right, GetParam().left));
}

INSTANTIATE_TEST_SUITE_P(
    Words, IdentifierTest,
    ::testing::Values(IdentifierCase{kFirst, kFirst, true}, IdentifierCase{kFirst, kSecond, false},
                      IdentifierCase{{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}},
                                     {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 12}}, false},
                      IdentifierCase{{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}},
                                     {1, 2, 4, {4, 5, 6, 7, 8, 9, 10, 11}}, false},
                      IdentifierCase{{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}},
                                     {1, 2, 3, {5, 5, 6, 7, 8, 9, 10, 11}}, false}));

}  // namespace
