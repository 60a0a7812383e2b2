// Deliberately broken: every test passes and GoogleTest prints its PASSED
// summary, but a block is never freed, so LeakSanitizer reports it at exit
// and the program ends with a non-zero exit code. The suite marks it as
// expected to fail, so that it shows a leak fails a native test.
#include "gtest/gtest.h"

namespace {

void* volatile g_sink;

TEST(OutcomeTest, PassesButLeaks) {
  g_sink = new int[16];
  g_sink = nullptr;
  EXPECT_TRUE(true);
}

}  // namespace
