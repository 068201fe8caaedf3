# Build options shared by every target.

option(VELQOR_BUILD_TESTS "Build the tests" ON)
option(VELQOR_BUILD_BENCH "Build the benchmarks" OFF)
option(VELQOR_FUZZ "Build the libFuzzer harnesses (clang only)" OFF)
set(VELQOR_SANITIZE "" CACHE STRING
    "Sanitizers for every target, e.g. 'address,undefined' or 'thread' (empty: none)")

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wshadow)
endif()

if(VELQOR_SANITIZE)
  add_compile_options(-fsanitize=${VELQOR_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VELQOR_SANITIZE})
  if(VELQOR_SANITIZE MATCHES "undefined")
    # A finding fails the test instead of scrolling past.
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

if(VELQOR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELQOR_FUZZ needs clang (CXX=clang++)")
  endif()
  # Libraries get coverage instrumentation; the harnesses link the fuzzer driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Qt's moc/uic/rcc for the targets that use them.
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)
