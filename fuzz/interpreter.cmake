velqor_add_fuzzer(fuzz_interpreter SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_interpreter.cpp
  LIBS velqor_link)
