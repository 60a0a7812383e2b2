// Names of parameterised test cases from the cases' own descriptions.
#ifndef BRISVEL_TESTS_SUPPORT_CASE_NAME_H_
#define BRISVEL_TESTS_SUPPORT_CASE_NAME_H_

#include <ctype.h>

#include <string>

// `description` with every character that GoogleTest refuses in a name as '_'.
inline std::string CaseName(const char* description) {
  std::string name;
  for (const char* c = description; *c; ++c) {
    name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  }
  return name;
}

// The name generator for a parameter type with a `name` field.
struct NamedCase {
  template <class Info>
  std::string operator()(const Info& info) const {
    return CaseName(info.param.name);
  }
};

#endif  // BRISVEL_TESTS_SUPPORT_CASE_NAME_H_
