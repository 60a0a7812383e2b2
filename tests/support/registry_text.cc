#include "support/registry_text.h"

#include <string.h>

#include <algorithm>

namespace {

std::string FormatData(DWORD type, const std::string& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
  }
  if (type == REG_DWORD && data.size() == 4) {
    DWORD number;
    memcpy(&number, data.data(), 4);
    return std::to_string(number);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : data) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

}  // namespace

std::string FormatRegistryValue(const std::string& path, const std::string& name, DWORD type,
                                const std::string& data) {
  return path + "|" + name + "|" + std::to_string(type) + "|" + FormatData(type, data);
}

std::string JoinSortedLines(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}
