// Names parameterized cases after their own `name` field, so a failure says
// which row of a table failed.
#ifndef BRISVEL_TESTS_SUPPORT_CASE_NAMES_H_
#define BRISVEL_TESTS_SUPPORT_CASE_NAMES_H_

#include <ctype.h>
#include <gtest/gtest.h>

#include <string>

// The case's name with every character but letters and digits made "_".
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

#endif  // BRISVEL_TESTS_SUPPORT_CASE_NAMES_H_
