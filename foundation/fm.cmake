# File manager: paths, files, folders, system folders, shortcuts, file
# dialogs (service interface), dynamic libraries, system and module
# utilities.
kv_foundation_area(fm DEPENDS core util elfres LIBS ${CMAKE_DL_LIBS} TEST_LIBS kv_testsupport)

if(TARGET foundation_fm_tests)
  # A small library the tests load and read as an image.
  add_library(kvfm_test_module SHARED ${CMAKE_CURRENT_SOURCE_DIR}/tests/fm/fixture/test_module.c)
  set_target_properties(kvfm_test_module PROPERTIES C_VISIBILITY_PRESET default
                                                    NO_SONAME OFF SOVERSION 3)
  # The same library with the resources every module of the tool set gets
  # (its version among them).
  add_library(kvfm_versioned_module SHARED ${CMAKE_CURRENT_SOURCE_DIR}/tests/fm/fixture/test_module.c)
  kv_add_resources(kvfm_versioned_module tests/fm/fixture/versioned.txt)
  add_dependencies(foundation_fm_tests kvfm_test_module kvfm_versioned_module)
  target_compile_definitions(foundation_fm_tests PRIVATE
    KV_PROJECT_VERSION="${PROJECT_VERSION}"
    KV_VERSIONED_MODULE="$<TARGET_FILE:kvfm_versioned_module>"
    KV_TEST_MODULE="$<TARGET_FILE:kvfm_test_module>"
    KV_TEST_MODULE_SONAME="$<TARGET_SONAME_FILE_NAME:kvfm_test_module>")
endif()
