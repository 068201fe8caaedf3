# The USB receive path under the heaviest load: the simulated adapter through its HID
# backend, TUsbif's reader thread and the frame interpreter.
velqor_add_bench(bench_usb SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_usb.cpp
  LIBS velqor_sim velqor_link)
