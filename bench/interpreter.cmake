velqor_add_bench(bench_interpreter SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_interpreter.cpp
  LIBS velqor_link)
