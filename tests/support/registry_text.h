// A registry's contents as one comparable text: "path|value name|type|data"
// lines in sorted order, whichever registry they were read from.
#ifndef BRISVEL_TESTS_SUPPORT_REGISTRY_TEXT_H_
#define BRISVEL_TESTS_SUPPORT_REGISTRY_TEXT_H_

#include <string>
#include <vector>

#include "server/win32.h"

// One value as a line of such a dump.
std::string FormatRegistryValue(const std::string& path, const std::string& name, DWORD type,
                                const std::string& data);

// The lines of a dump in sorted order, joined.
std::string JoinSortedLines(std::vector<std::string> lines);

#endif  // BRISVEL_TESTS_SUPPORT_REGISTRY_TEXT_H_
