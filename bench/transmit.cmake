# Periodic transmit against the simulated adapter, judged by the simulated bus's own times
# (60 s a scenario; VELQOR_BENCH_SECONDS shortens it).
velqor_add_bench(bench_transmit SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_transmit.cpp
  LIBS velqor_tools)
