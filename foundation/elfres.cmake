# Resources in ELF files: the reader of the resource section and the single
# writer shared by the resource packer and the resource manager.
kv_foundation_area(elfres DEPENDS core)

if(TARGET foundation_elfres_tests)
  # Small real ELF files for the tests to copy and rewrite: a shared library
  # and a program.
  add_library(elfres_fixture_lib SHARED tests/elfres/fixtures/fixture_lib.cpp)
  add_executable(elfres_fixture_exe tests/elfres/fixtures/fixture_exe.cpp)
  add_dependencies(foundation_elfres_tests elfres_fixture_lib elfres_fixture_exe)
  target_compile_definitions(foundation_elfres_tests PRIVATE
    KV_FIXTURE_LIB="$<TARGET_FILE:elfres_fixture_lib>"
    KV_FIXTURE_EXE="$<TARGET_FILE:elfres_fixture_exe>")
endif()

# A libFuzzer target for the ELF and index parser (needs clang).
if(KV_BUILD_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(elfres_fuzz tests/elfres/fuzz/elfres_fuzz.cpp)
  target_link_libraries(elfres_fuzz PRIVATE kvfoundation_elfres)
  target_compile_options(elfres_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(elfres_fuzz PRIVATE -fsanitize=fuzzer)
endif()
