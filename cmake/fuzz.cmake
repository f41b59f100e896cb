# The fuzzing build (preset "fuzz"): clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer; only the simulated machine, the library and the fuzz targets.
# Coverage is collected from the library's objects alone, so the fuzzer steers by the parsers'
# branches rather than by the simulated machine's.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "ZEB_FUZZ needs clang (cmake --preset fuzz)")
endif()
add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
enable_testing()
add_subdirectory(install/pc/winnt/winsim)
add_subdirectory(install/pc/winnt/msi)
target_compile_options(zebiwicn_obj PRIVATE -fsanitize=fuzzer-no-link)
# The shared library is not needed here, and its instrumented objects do not link without a fuzzer.
set_target_properties(zebiwicn PROPERTIES EXCLUDE_FROM_ALL ON)
add_subdirectory(tests/fuzz)
