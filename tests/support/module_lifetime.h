// Gives a test a module lifetime of its own: a fresh module record is the
// current module while the scope lasts, and its term functions run when the
// scope ends, as they do when the library unloads. For the internal tests.
#ifndef BRISVEL_TESTS_SUPPORT_MODULE_LIFETIME_H_
#define BRISVEL_TESTS_SUPPORT_MODULE_LIFETIME_H_

#include <stddef.h>

#include "server/module.h"

class ScopedModuleLifetime {
 public:
  ScopedModuleLifetime() = default;
  // The record then terminates as at unload.
  ~ScopedModuleLifetime() { g_currentModule = saved_; }
  ScopedModuleLifetime(const ScopedModuleLifetime&) = delete;
  ScopedModuleLifetime& operator=(const ScopedModuleLifetime&) = delete;

  // Nodes on the module's term-function list.
  size_t TermFunctionCount() const {
    size_t count = 0;
    for (const CServerModule::TermNode* node = module_.termFunctions; node; node = node->next) {
      ++count;
    }
    return count;
  }

  // Runs the unload work now; the module must see no further calls.
  void Terminate() { module_.Terminate(); }

  CServerModule& Module() { return module_; }

 private:
  CServerModule* saved_ = g_currentModule;  // before module_ makes itself current
  CServerModule module_;
};

#endif  // BRISVEL_TESTS_SUPPORT_MODULE_LIFETIME_H_
