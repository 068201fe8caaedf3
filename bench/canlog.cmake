# The log formats: each writer and reader on one core; converting a large candump log in
# constant memory; a replay against the simulated adapter, with its intervals.
velqor_add_bench(bench_canlog SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_canlog.cpp
                 LIBS velqor_canlog velqor_common)
velqor_add_bench(bench_canlog_convert SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_canlog_convert.cpp
                 LIBS velqor_tools velqor_canlog velqor_common)
