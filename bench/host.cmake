# Rendering a WAV file through one pass-through plug-in instance (opening the
# input, then the output) against sox copying the same file, and the whole
# `rigwell -c` cancellation test against sox as processes.
kv_add_bench(bench_host SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_host.cpp LIBS kvhost)
add_dependencies(bench_host PassThrough rigwell)
target_compile_definitions(bench_host PRIVATE KV_BENCH_PASSTHROUGH="$<TARGET_FILE:PassThrough>"
  KV_BENCH_RIGWELL="$<TARGET_FILE:rigwell>"
  KV_BENCH_PLUGIN_FOLDER="$<TARGET_FILE_DIR:PassThrough>")
