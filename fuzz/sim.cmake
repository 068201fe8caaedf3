# The simulated adapter fed arbitrary bytes from the program side.
velqor_add_fuzzer(fuzz_sim_adapter SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sim_adapter.cpp LIBS velqor_sim)
