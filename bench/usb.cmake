# The USB receive path under the heaviest load: the simulated adapter through its HID
# backend, TUsbif's reader thread and the frame interpreter.
velqor_add_bench(bench_usb SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_usb.cpp
  LIBS velqor_sim velqor_link)
# The simulator names a member `signals`, which Qt's keyword macros would rewrite.
target_compile_definitions(bench_usb PRIVATE QT_NO_KEYWORDS)
