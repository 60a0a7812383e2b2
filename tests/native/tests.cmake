# The unit tests that build natively as well as for Windows (name, then the
# source below tests/), and the fuzz targets; read by the native build, which
# makes them, and by the Windows build's tests, which run them.
set(BRISVEL_NATIVE_TESTS
  registrar_tokenizer_unittest registrar/tokenizer_unittest.cc
  registrar_replacements_unittest registrar/replacements_unittest.cc
  registrar_interpreter_unittest registrar/interpreter_unittest.cc
  registrar_hostile_script_unittest registrar/hostile_script_unittest.cc
)
# Deliberately broken programs (name, then source), run as tests expected to
# fail: they show that what the sanitizers find at exit fails a test.
set(BRISVEL_NATIVE_BROKEN_TESTS
  outcome_leaks_at_exit outcome/leaks_at_exit.cc
)
set(BRISVEL_FUZZ_TARGETS registry_script_fuzzer)
