# The slcan bridge at a full bus: simulated adapter, HID backend, TUsbif, interpreter,
# SlcanBridge and a host reading the pseudo-terminal.
velqor_add_bench(bench_slcan SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_slcan.cpp
  LIBS velqor_bridge velqor_sim velqor_link)
