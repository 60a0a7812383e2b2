// The library's unload as the runtime's static destruction runs it: term
// functions registered while the module is live run once each, newest first,
// while the class table still holds its factory; the class table goes after
// the module and releases that factory. A static checker built before the
// module records, and so destroyed after them, judges what happened and
// fails the program's exit when it was wrong.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "idl/brisvel.h"
#include "server/class_table.h"
#include "server/module.h"
#include "server/platform.h"

namespace {

// What happened at unload, one letter an event; plain storage, so it is
// there before and after every static object.
char g_events[16];
void* g_factory;

void Record(char event) {
  const size_t length = strlen(g_events);
  if (length + 1 < sizeof g_events) g_events[length] = event;
}

void TermFunction(void* argument) {
  Record(*static_cast<const char*>(argument));
  // The class table is taken down after the module, so its factory is still
  // cached while the term functions run.
  if (g_objectMap[0]->classObject != static_cast<IUnknown*>(g_factory)) Record('!');
}

void RecordingHeapRelease(void* block) {
  if (block && block == g_factory) Record('F');
  DefaultPlatformCalls().HeapRelease(block);
}

const char kFirst = 'A';
const char kSecond = 'B';

void Fail(const char* what) {
  fprintf(stderr, "unload: %s (events \"%s\")\n", what, g_events);
  fflush(stderr);
  _exit(1);
}

struct UnloadChecker {
  ~UnloadChecker() {
    if (strcmp(g_events, "BAF") != 0) Fail("expected B, A, then the factory freed");
    if (g_currentModule->size != 0) Fail("the module is still live");
    void* out = nullptr;
    if (LookupClassObject(&g_classTable, CLSID_Agent, IID_IClassFactory, &out) != E_UNEXPECTED) {
      Fail("a lookup after termination was not refused");
    }
    if (RegisterTermFunction(g_currentModule, TermFunction, const_cast<char*>(&kFirst)) !=
        E_UNEXPECTED) {
      Fail("a term function was taken after termination");
    }
    g_currentModule->Terminate();
    if (strcmp(g_events, "BAF") != 0) Fail("a second termination ran something");
  }
};

UnloadChecker g_checker __attribute__((init_priority(103)));

TEST(ModuleUnloadTest, TermFunctionsAndTheCachedFactoryWaitForTheUnload) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, LookupClassObject(&g_classTable, CLSID_Agent, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)));
  g_factory = factory;
  EXPECT_EQ(1u, factory->Release());
  ASSERT_EQ(S_OK, RegisterTermFunction(g_currentModule, TermFunction,
                                       const_cast<char*>(&kFirst)));
  ASSERT_EQ(S_OK, RegisterTermFunction(g_currentModule, TermFunction,
                                       const_cast<char*>(&kSecond)));
  // Left in place for the unload, which frees the factory through it.
  g_platform.HeapRelease = RecordingHeapRelease;
  EXPECT_STREQ("", g_events);
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

}  // namespace
