velqor_add_bench(bench_trace SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_trace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_bench_main.cpp
  LIBS velqor_traffic)
