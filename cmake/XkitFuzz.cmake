# The fuzzing build: XKIT_FUZZ=ON instruments every target for libFuzzer's coverage feedback
# (clang only); fuzz/ then adds the fuzz targets. Off by default.
option(XKIT_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)
if(XKIT_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
