# Writing the data log: one line per received frame, handed to the system in chunks.
velqor_add_bench(bench_log_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_log_file.cpp
                 LIBS velqor_traffic)
set_target_properties(bench_log_file PROPERTIES AUTOMOC OFF)
