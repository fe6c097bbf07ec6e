# Shared build settings of the project's own targets.

set(KV_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(KV_WARNINGS_AS_ERRORS)
  list(APPEND KV_WARNINGS -Werror)
endif()
# GCC 12 reports -Wrestrict false positives inside libstdc++'s string code
# at -O2 and above (fixed in GCC 13); they are not our code's warnings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND KV_WARNINGS -Wno-restrict)
endif()
set(KV_SANITIZE_FLAGS)
if(KV_SANITIZE)
  set(KV_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
  # Sanitizer flags apply to everything this project builds, so that
  # shared libraries and the programs loading them agree on the runtime.
  add_compile_options(${KV_SANITIZE_FLAGS})
  add_link_options(${KV_SANITIZE_FLAGS})
endif()

# kv_target_defaults(target): warnings as errors for the project's code.
function(kv_target_defaults target)
  target_compile_options(${target} PRIVATE ${KV_WARNINGS})
endfunction()

# kv_add_library(name [STATIC|SHARED] SOURCES ... )
# A library of a subsystem folder: include/ is public, sources are the
# given ones.
function(kv_add_library name kind)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_library(${name} ${kind} ${ARG_SOURCES})
  kv_target_defaults(${name})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
endfunction()

# kv_add_test(name SOURCES ... LIBS ... [LABELS ...] [ENV ...] [RESOURCE_LOCK lock...])
# A GoogleTest executable registered with CTest test by test. ENV holds
# NAME=VALUE entries set for discovery and for every run; RESOURCE_LOCK names
# a resource that the tests hold one at a time; tests labelled "display"
# hold the shared display's lock by default.
function(kv_add_test name)
  if(NOT KV_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENV;RESOURCE_LOCK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kv_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  if(ARG_ENV)
    # env(1) as the launcher: a list-valued property does not survive
    # gtest_discover_tests, a launcher reaches discovery and every run.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "/usr/bin/env;${ARG_ENV}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS)
  # Properties with list values are set after discovery, by a script that
  # CTest includes after the discovered tests.
  # Tests on the one shared display run one at a time unless told otherwise.
  if("display" IN_LIST ARG_LABELS AND NOT ARG_RESOURCE_LOCK)
    set(ARG_RESOURCE_LOCK kv_display_input)
  endif()
  set(props "")
  if(ARG_LABELS)
    string(APPEND props " LABELS \"${ARG_LABELS}\"")
  endif()
  if(ARG_RESOURCE_LOCK)
    string(APPEND props " RESOURCE_LOCK \"${ARG_RESOURCE_LOCK}\"")
  endif()
  if(props)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${script}
         "if(${name}_TESTS)\n"
         "  set_tests_properties(\${${name}_TESTS} PROPERTIES${props})\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
  endif()
endfunction()
