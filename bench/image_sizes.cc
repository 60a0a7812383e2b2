#include "bench/image_sizes.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

// The file the loaded module came from; empty when unknown.
std::string FileOf(HMODULE module) {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
  return length == 0 || length == MAX_PATH ? std::string() : std::string(path, length);
}

// The whole file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char block[65536];
  for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
  fclose(file);
  return bytes;
}

// A section's name: eight bytes, or "/N" for the name at offset N of the
// file's string table, where long names such as .debug_info live.
std::string SectionName(const std::string& file, const IMAGE_FILE_HEADER& header,
                        const IMAGE_SECTION_HEADER& section) {
  std::string name(reinterpret_cast<const char*>(section.Name),
                   strnlen(reinterpret_cast<const char*>(section.Name), 8));
  if (name.empty() || name[0] != '/' || header.PointerToSymbolTable == 0) return name;
  const size_t at = header.PointerToSymbolTable + header.NumberOfSymbols * 18 +
                    strtoul(name.c_str() + 1, nullptr, 10);
  return at < file.size() ? std::string(file.c_str() + at) : name;
}

// The bytes of the image file's sections but the debug ones: what is left
// once symbols and debug information are stripped, headers aside.
unsigned long long SectionBytes(const std::string& file) {
  if (file.size() < sizeof(IMAGE_DOS_HEADER)) return 0;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
  if (static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS) > file.size()) return 0;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(file.data() + dos->e_lfanew);
  const auto* sections = IMAGE_FIRST_SECTION(nt);
  unsigned long long bytes = 0;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
    if (SectionName(file, nt->FileHeader, sections[i]).compare(0, 6, ".debug") != 0) {
      bytes += sections[i].SizeOfRawData;
    }
  }
  return bytes;
}

// The names in the import directory of the loaded image `module`.
std::vector<std::string> ImportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  if (directory.VirtualAddress == 0) return names;
  for (const auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    names.push_back(reinterpret_cast<const char*>(base + entry->Name));
  }
  return names;
}

std::string SizeLine(const std::string& name, HMODULE module) {
  const std::string file = ReadFileBytes(FileOf(module));
  char line[200];
  snprintf(line, sizeof line, "  %-16s %9zu bytes, %8llu in sections other than debug ones\n",
           name.c_str(), file.size(), SectionBytes(file));
  return line;
}

}  // namespace

std::string DescribeImageSizes(HMODULE module) {
  std::string text = SizeLine("Brisvel.DLL", module);
  text += "  imports (the prefix's files):\n";
  for (const std::string& name : ImportedNames(module)) {
    text += "  " + SizeLine(name, ::GetModuleHandleA(name.c_str()));
  }
  return text;
}
