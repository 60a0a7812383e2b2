// Restores the library's platform table when a test that replaced calls in
// it ends. For the internal tests, which link the library's code.
#ifndef BRISVEL_TESTS_SUPPORT_PLATFORM_OVERRIDE_H_
#define BRISVEL_TESTS_SUPPORT_PLATFORM_OVERRIDE_H_

#include "server/platform.h"

class ScopedPlatformCalls {
 public:
  ScopedPlatformCalls() : saved_(g_platform) {}
  ~ScopedPlatformCalls() { g_platform = saved_; }
  ScopedPlatformCalls(const ScopedPlatformCalls&) = delete;
  ScopedPlatformCalls& operator=(const ScopedPlatformCalls&) = delete;

  PlatformCalls* operator->() { return &g_platform; }

 private:
  PlatformCalls saved_;
};

#endif  // BRISVEL_TESTS_SUPPORT_PLATFORM_OVERRIDE_H_
