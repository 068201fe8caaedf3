# The whole program under a flood: the main window connected through its links to the
# simulated adapter (plain main(), prints its figures).
velqor_add_bench(bench_app_flood SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_app_flood.cpp
                 LIBS velqor_app velqor_sim)
