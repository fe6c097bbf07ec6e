# One full redraw of the plug-in's expanded editor through its entry points
# (needs a display: run under xvfb-run).
kv_add_bench(bench_editor SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_editor.cpp LIBS kvui kvhosting ${CMAKE_DL_LIBS})
add_dependencies(bench_editor DulmAudioDSP)
target_compile_definitions(bench_editor PRIVATE KV_BENCH_DULM="$<TARGET_FILE:DulmAudioDSP>")
