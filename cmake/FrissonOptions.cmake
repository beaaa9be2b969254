option(FRISSON_BUILD_TESTS "Build the GoogleTest suites" ON)
option(FRISSON_BUILD_BENCH "Build the Google Benchmark programs" ON)
option(FRISSON_BUILD_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
set(FRISSON_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined or thread")

# Exact floating point everywhere: renders must be bit-identical on every build,
# so no contraction of a*b+c into fused multiply-adds and no fast-math.
add_compile_options(-ffp-contract=off -fno-fast-math)

if(FRISSON_SANITIZE)
  add_compile_options(-fsanitize=${FRISSON_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${FRISSON_SANITIZE})
endif()

# Warnings as errors on the project's own targets (not on third-party code).
function(frisson_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A layer library: frisson_layer(NAME SOURCES ... [DEPS ...])
function(frisson_layer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  frisson_target_defaults(${name})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()
