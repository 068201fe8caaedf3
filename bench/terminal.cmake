# The terminal window at a full bus: what one batch of received reports costs the window's
# thread, and what a call of ShowReceived costs the USB reader.
velqor_add_bench(bench_terminal SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_terminal.cpp
                 LIBS velqor_terminal)
