// HKEY_CLASSES_ROOT's keys in one architecture's view of the registry (the
// 32-bit one below Wow6432Node), for client tests that compare the views.
#ifndef BRISVEL_TESTS_SUPPORT_REGISTRY_VIEW_H_
#define BRISVEL_TESTS_SUPPORT_REGISTRY_VIEW_H_

#include <windows.h>

#include <string>

// HKCR\`parent`\`name` as `view` holds it, in DumpRegistryTree's form.
std::string DumpClassesKeyInView(REGSAM view, const char* parent, const std::string& name);

// Writes `data` as the default value of HKCR\`path` in `view`; false if it cannot.
bool WriteClassesDefaultInView(REGSAM view, const std::string& path, const std::string& data);

// Removes HKCR\`parent`\`name` with everything below it from `view`.
void DeleteClassesKeyInView(REGSAM view, const char* parent, const char* name);

#endif  // BRISVEL_TESTS_SUPPORT_REGISTRY_VIEW_H_
