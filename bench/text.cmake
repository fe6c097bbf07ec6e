# Text: rendering a line through the FreeType path into a texture against
# the toolkit's own text path (drawn on a bitmap and uploaded). Needs a
# display (run under xvfb-run).
kv_add_bench(bench_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_text.cpp LIBS kvui)
