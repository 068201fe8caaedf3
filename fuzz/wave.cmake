# The waveform decoder and measurements on arbitrary traces (what an adapter may send).
velqor_add_fuzzer(fuzz_wave SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_wave.cpp LIBS velqor_wave)
