# The bus library busgate_c: its core as a static library (linked by the
# tests and benchmarks) and the shared library libbusgate_c.so with the
# eighteen busgate_ exports.
find_package(Threads REQUIRED)

file(GLOB KV_BUSGATE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/src/busgate/*.cpp)
add_library(busgate_core STATIC ${KV_BUSGATE_SOURCES})
kv_target_defaults(busgate_core)
target_include_directories(busgate_core PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(busgate_core PUBLIC busdriver Threads::Threads)

# The simulated chip's registers and memories (built into the simulator).
target_sources(u2csim PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../sim/src/ChipModel.cpp)

file(GLOB KV_BUSGATE_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/*_test.cpp)
if(KV_BUSGATE_TESTS)
  kv_add_test(busgate_tests SOURCES ${KV_BUSGATE_TESTS} ${CMAKE_CURRENT_LIST_DIR}/tests/busgate/SimBus.cpp LIBS busgate_core u2csim LABELS busaccess)
endif()
