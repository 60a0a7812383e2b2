// Names the instances of a table-driven test after each case's `name` field,
// with everything but letters and digits turned into '_'.
#ifndef BRISVEL_TESTS_SUPPORT_CASE_NAME_H_
#define BRISVEL_TESTS_SUPPORT_CASE_NAME_H_

#include <gtest/gtest.h>

#include <cctype>
#include <string>

struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name = info.param.name;
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
  }
};

#endif  // BRISVEL_TESTS_SUPPORT_CASE_NAME_H_
