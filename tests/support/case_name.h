// Names the cases of a parameterised test after their `name` field, with
// every character a test name may not carry turned into '_'.
#ifndef BRISVEL_TESTS_SUPPORT_CASE_NAME_H_
#define BRISVEL_TESTS_SUPPORT_CASE_NAME_H_

#include <ctype.h>
#include <gtest/gtest.h>

#include <string>

struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (const char* c = info.param.name; *c; ++c) {
      name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
  }
};

#endif  // BRISVEL_TESTS_SUPPORT_CASE_NAME_H_
