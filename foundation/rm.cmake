# The resource manager: resource containers in ELF files, typed resources,
# converters and the scoped wrappers.
kv_foundation_area(rm DEPENDS core util fm xml elfres)

if(TARGET foundation_rm_tests)
  # Fixture libraries packed by kv_add_resources, and the test program's own
  # resources (for attaching the program itself).
  add_library(rm_fixture_types SHARED tests/rm/fixtures/fixture_lib.cpp)
  kv_add_resources(rm_fixture_types tests/rm/fixtures/types.txt)
  add_library(rm_fixture_keys SHARED tests/rm/fixtures/fixture_lib.cpp)
  kv_add_resources(rm_fixture_keys tests/rm/fixtures/keys.txt)
  kv_add_resources(foundation_rm_tests tests/rm/fixtures/program.txt)
  add_dependencies(foundation_rm_tests rm_fixture_types rm_fixture_keys)
  add_dependencies(foundation_rm_tests elfres_fixture_lib)
  target_compile_definitions(foundation_rm_tests PRIVATE
    KV_FIXTURE_LIB="$<TARGET_FILE:elfres_fixture_lib>"
    KV_RM_FIXTURE_TYPES="$<TARGET_FILE:rm_fixture_types>"
    KV_RM_FIXTURE_KEYS="$<TARGET_FILE:rm_fixture_keys>")
endif()
