# The command-script reader and line parser on arbitrary file contents.
velqor_add_fuzzer(fuzz_script SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_script.cpp
                  LIBS velqor_terminal)
