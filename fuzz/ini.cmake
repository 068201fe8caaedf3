# The settings-file reader and writer on arbitrary file contents.
velqor_add_fuzzer(fuzz_ini SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ini.cpp LIBS velqor_common)
# Plain C++: no moc, so no "fuzz_ini_autogen" folder beside the harness.
set_target_properties(fuzz_ini PROPERTIES AUTOMOC OFF)
