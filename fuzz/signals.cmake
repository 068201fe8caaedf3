# The DBC parser on arbitrary text, and the fields of whatever it loads on arbitrary payloads.
velqor_add_fuzzer(fuzz_dbc SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_dbc.cpp LIBS velqor_signals)
set_target_properties(fuzz_dbc PROPERTIES AUTOMOC OFF)
