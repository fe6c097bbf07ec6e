# File manager: paths, files, folders, system folders, shortcuts, file
# dialogs (service interface), dynamic libraries, system and module
# utilities.
kv_foundation_area(fm DEPENDS core util LIBS ${CMAKE_DL_LIBS} TEST_LIBS kv_testsupport)
target_compile_definitions(kvfoundation_fm PRIVATE KV_VERSION_STRING="${PROJECT_VERSION}")

if(TARGET foundation_fm_tests)
  # A small library the tests load and read as an image.
  add_library(kvfm_test_module SHARED ${CMAKE_CURRENT_SOURCE_DIR}/tests/fm/fixture/test_module.c)
  set_target_properties(kvfm_test_module PROPERTIES C_VISIBILITY_PRESET default
                                                    NO_SONAME OFF SOVERSION 3)
  add_dependencies(foundation_fm_tests kvfm_test_module)
  target_compile_definitions(foundation_fm_tests PRIVATE
    KV_TEST_MODULE="$<TARGET_FILE:kvfm_test_module>"
    KV_TEST_MODULE_SONAME="$<TARGET_SONAME_FILE_NAME:kvfm_test_module>")
endif()
