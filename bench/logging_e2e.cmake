# The main window under a full 1 Mbit/s bus from the simulated adapter, with the data log on.
velqor_add_bench(bench_logging_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_logging_e2e.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_bench_main.cpp
                 LIBS velqor_app velqor_sim)
