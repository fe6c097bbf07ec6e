# Cost per bridge frame: the libraries' own work over the in-process
# simulated board, and the socket-bridge round trip to the daemon u2c-sim.
kv_add_bench(bench_bridge SOURCES bench_bridge.cpp LIBS terovanu2c_core busdriver u2csim)
target_include_directories(bench_bridge PRIVATE $<TARGET_PROPERTY:terovanu2c_core,SOURCE_DIR>/src)
target_compile_definitions(bench_bridge PRIVATE U2C_SIM_PATH="$<TARGET_FILE:u2c-sim>")
add_dependencies(bench_bridge u2c-sim)
