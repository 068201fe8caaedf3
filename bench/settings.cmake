# Loading and saving the settings file: each key is its own read or rewrite of the file.
velqor_add_bench(bench_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_settings.cpp
                 LIBS velqor_common)
set_target_properties(bench_settings PROPERTIES AUTOMOC OFF)
