# The bus library busgate_c: its core as a static library (linked by the
# tests and benchmarks and by libbusgate_c.so).
find_package(Threads REQUIRED)

file(GLOB KV_BUSGATE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/src/busgate/*.cpp)
add_library(busgate_core STATIC ${KV_BUSGATE_SOURCES})
kv_target_defaults(busgate_core)
target_include_directories(busgate_core PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(busgate_core PUBLIC busdriver kvfoundation_fm Threads::Threads)

# libbusgate_c.so itself, with the busgate_ exports, is assembled in
# loggerui/, over this core and the logger's windows.

file(GLOB KV_BUSGATE_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/*_test.cpp)
if(KV_BUSGATE_TESTS)
  kv_add_test(busgate_tests SOURCES ${KV_BUSGATE_TESTS} ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/SimBus.cpp LIBS busgate_core u2csim kv_testsupport LABELS busaccess)
endif()

# The shared library, loaded as its caller loads it, against the daemon.
if(KV_BUILD_TESTS)
  # u2csim only for starting the daemon: the library under test is loaded
  # with dlopen, never linked.
  kv_add_test(busgate_c_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/library/busgate_c_test.cpp
              LIBS ${CMAKE_DL_LIBS} u2csim LABELS busaccess)
  target_include_directories(busgate_c_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/include)
  add_dependencies(busgate_c_tests busgate_c u2c-sim)
  target_compile_definitions(busgate_c_tests PRIVATE
    BUSGATE_C_PATH="$<TARGET_FILE:busgate_c>" U2C_SIM_PATH="$<TARGET_FILE:u2c-sim>")
  # The eighteen busgate_ functions are all the library exports.
  add_test(NAME busgate_c.ExportsOnlyItsEighteenFunctions
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:busgate_c>
                   "-DEXPECTED=busgate_close;busgate_find_boards;busgate_find_boards_network;busgate_get_bitrate;busgate_get_high_level_threshold;busgate_get_i2c_vcc;busgate_get_input_testpin;busgate_get_low_level_threshold;busgate_get_output_testpin;busgate_get_termination;busgate_open;busgate_receive;busgate_set_bitrate;busgate_set_level_threshold;busgate_set_output_testpin;busgate_set_termination;busgate_transmit;busgate_transmit_receive"
                   -P ${CMAKE_CURRENT_LIST_DIR}/tools/CheckExports.cmake)
  set_tests_properties(busgate_c.ExportsOnlyItsEighteenFunctions PROPERTIES LABELS busaccess)
endif()

# The exports and the evaluation board against the daemon, the preset read
# back through libTerovanU2C.so.
if(KV_BUILD_TESTS)
  kv_add_test(busgate_daemon_tests
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/daemon/exports_daemon_test.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/SimBus.cpp
              LIBS busgate_core u2csim TerovanU2C kv_testsupport LABELS busaccess)
  target_compile_definitions(busgate_daemon_tests PRIVATE U2C_SIM_PATH="$<TARGET_FILE:u2c-sim>")
  add_dependencies(busgate_daemon_tests u2c-sim)
endif()
