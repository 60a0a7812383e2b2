// Run against the platform's own shell: the handler registered for ed2k:
// receives exactly the accepted link, and nothing else ever reaches it.
#include <gtest/gtest.h>

#include <string>

#include "agent/agent.h"
#include "support/bare_agent.h"
#include "support/link_recorder.h"
#include "support/registry_override.h"

namespace {

HRESULT RunLink(const wchar_t* link) {
  BareAgent agent;
  BSTR text = ::SysAllocString(link);
  const HRESULT result = agent.Run(text);
  ::SysFreeString(text);
  return result;
}

class RunShellTest : public ::testing::Test {
 protected:
  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
};

TEST_F(RunShellTest, HandlerReceivesExactlyTheAcceptedLink) {
  LinkRecorder recorder;
  const wchar_t kLink[] = L"ed2k://|file|Brisvel demo.iso|1048576|0123456789ABCDEF0123456789ABCDEF|/";
  ASSERT_EQ(S_OK, RunLink(kLink));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ(1, launches[0].argumentCount);
  EXPECT_EQ("ed2k://|file|Brisvel demo.iso|1048576|0123456789ABCDEF0123456789ABCDEF|/",
            launches[0].link);
}

TEST_F(RunShellTest, RefusedLinksNeverReachTheHandler) {
  LinkRecorder recorder;
  EXPECT_EQ(E_INVALIDARG, RunLink(L"ed2k:a\" \"--injected"));
  EXPECT_EQ(E_INVALIDARG, RunLink(L"http://example.invalid/"));
  EXPECT_EQ(E_INVALIDARG, RunLink(L" ed2k:x"));
  ASSERT_EQ(S_OK, RunLink(L"ed2k:last"));
  // The accepted link is launched after the refused ones: once it is there,
  // anything the refused ones had launched would be there too.
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k:last", launches[0].link);
}

TEST_F(RunShellTest, NoHandlerForTheSchemeIsNoAssociation) {
  EXPECT_EQ(HRESULT(0x8007001F), RunLink(L"ed2k://|file|x|1|0|/"));
}

}  // namespace
