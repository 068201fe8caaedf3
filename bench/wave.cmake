# Decoding and measuring one captured waveform, as the Wave page does for every trace.
velqor_add_bench(bench_wave SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_wave.cpp LIBS velqor_wave velqor_sim)
