// Deliberately broken: every test passes and GoogleTest prints its PASSED
// summary, and then the program ends with a non-zero exit code, as one that
// crashes while unloading would. The suite marks it as expected to fail, so
// that it shows a test outcome is decided by the exit code as well.
#include <stdlib.h>

#include "gtest/gtest.h"

namespace {

// Destroyed after main returns, that is after GoogleTest's summary.
struct FailingUnload {
  ~FailingUnload() { _Exit(3); }
} g_failingUnload;

TEST(OutcomeTest, PassesBeforeTheProgramFails) { EXPECT_TRUE(true); }

}  // namespace
