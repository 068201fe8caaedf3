# The simulated adapter: its own cost per frame and how far it outruns real time.
velqor_add_bench(bench_sim SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_sim.cpp LIBS velqor_sim)
