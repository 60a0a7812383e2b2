# The native tree's tests as tests of this build, so that one ctest run
# covers everything: its build (the fixture the others need), each unit
# test under the sanitizers, and a short fixed-time run of each fuzz target.
include(${CMAKE_SOURCE_DIR}/tests/native/tests.cmake)
set(BRISVEL_NATIVE_TREE ${CMAKE_SOURCE_DIR}/build/native)
set(BRISVEL_FUZZ_SECONDS 60 CACHE STRING "Seconds each fuzz target runs in the test suite")

add_test(NAME native_build COMMAND ${CMAKE_SOURCE_DIR}/scripts/native-build)
set_tests_properties(native_build PROPERTIES FIXTURES_SETUP brisvel_native TIMEOUT 1200)

list(LENGTH BRISVEL_NATIVE_TESTS count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  list(GET BRISVEL_NATIVE_TESTS ${i} name)
  add_test(NAME native_${name} COMMAND ${BRISVEL_NATIVE_TREE}/bin/${name})
  set_tests_properties(native_${name} PROPERTIES FIXTURES_REQUIRED brisvel_native
    ENVIRONMENT UBSAN_OPTIONS=print_stacktrace=1 TIMEOUT 600
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]" FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endforeach()

foreach(target ${BRISVEL_FUZZ_TARGETS})
  add_test(NAME fuzz_${target}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz ${BRISVEL_FUZZ_SECONDS} ${target})
  math(EXPR limit "${BRISVEL_FUZZ_SECONDS} + 600")
  set_tests_properties(fuzz_${target} PROPERTIES FIXTURES_REQUIRED brisvel_native TIMEOUT ${limit})
endforeach()
