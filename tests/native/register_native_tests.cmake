# The native tree's tests as tests of this build, so that one ctest run
# covers everything: each unit test under the sanitizers, the deliberately
# broken ones expected to fail, and a short fixed-time run of each fuzz
# target. The native tree is built before the tests run (scripts/test runs
# scripts/native-build), not by a test.
include(${CMAKE_SOURCE_DIR}/tests/native/tests.cmake)
set(BRISVEL_NATIVE_TREE ${CMAKE_SOURCE_DIR}/build/native)
set(BRISVEL_FUZZ_SECONDS 60 CACHE STRING "Seconds each fuzz target runs in the test suite")

foreach(group BRISVEL_NATIVE_TESTS BRISVEL_NATIVE_BROKEN_TESTS)
  set(pairs ${${group}})
  list(LENGTH pairs count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    list(GET pairs ${i} name)
    add_test(NAME native_${name}
             COMMAND ${BRISVEL_EXPECT_PASSED} ${BRISVEL_NATIVE_TREE}/bin/${name})
    # A program that is not there is not run: a failure even where one is
    # expected.
    set_tests_properties(native_${name} PROPERTIES
      ENVIRONMENT UBSAN_OPTIONS=print_stacktrace=1 TIMEOUT 600
      REQUIRED_FILES ${BRISVEL_NATIVE_TREE}/bin/${name})
    if(group STREQUAL "BRISVEL_NATIVE_BROKEN_TESTS")
      set_tests_properties(native_${name} PROPERTIES WILL_FAIL TRUE)
    endif()
  endforeach()
endforeach()

foreach(target ${BRISVEL_FUZZ_TARGETS})
  add_test(NAME fuzz_${target}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz ${BRISVEL_FUZZ_SECONDS} ${target})
  math(EXPR limit "${BRISVEL_FUZZ_SECONDS} + 600")
  set_tests_properties(fuzz_${target} PROPERTIES TIMEOUT ${limit})
endforeach()
