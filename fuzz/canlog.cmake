velqor_add_fuzzer(fuzz_canlog SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_canlog.cpp
  LIBS velqor_canlog)
