# DBC signals: decoding speed per frame and per signal, lookups in a large database, parsing.
velqor_add_bench(bench_signals SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_signals.cpp
  LIBS velqor_signals)
