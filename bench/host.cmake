# Rendering a WAV file through one pass-through plug-in instance (opening the
# input, then the output) against sox copying the same file.
kv_add_bench(bench_host SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_host.cpp LIBS kvhost)
add_dependencies(bench_host PassThrough)
target_compile_definitions(bench_host PRIVATE KV_BENCH_PASSTHROUGH="$<TARGET_FILE:PassThrough>")
