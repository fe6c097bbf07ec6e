# The idle tick with an editor shown: the pass-through plug-in's, cleared
# and swapped each tick, and DulmAudioDSP's expanded editor idle and while a
# slider is dragged (its editor is reached through the GUI library). Run
# under a display (xvfb-run -a on llvmpipe).
kv_add_bench(bench_editor SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_editor.cpp LIBS kvhost QuorlGUILib)
add_dependencies(bench_editor PassThrough rigwell DulmAudioDSP)
target_compile_definitions(bench_editor PRIVATE KV_BENCH_PASSTHROUGH="$<TARGET_FILE:PassThrough>"
                                                KV_BENCH_RIGWELL="$<TARGET_FILE:rigwell>"
                                                KV_BENCH_DULM="$<TARGET_FILE:DulmAudioDSP>")

# One full redraw of the plug-in's expanded editor through its entry points
# (needs a display: run under xvfb-run).
kv_add_bench(bench_editor_redraw SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_editor_redraw.cpp LIBS kvui kvhosting ${CMAKE_DL_LIBS})
add_dependencies(bench_editor_redraw DulmAudioDSP)
target_compile_definitions(bench_editor_redraw PRIVATE KV_BENCH_DULM="$<TARGET_FILE:DulmAudioDSP>")
