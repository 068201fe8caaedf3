velqor_add_bench(bench_received_list SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_received_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_bench_main.cpp
  LIBS velqor_app)
