# One level-meter tick of the tweaks page against the in-process simulated
# board.
kv_add_bench(bench_tweaks SOURCES bench_tweaks.cpp LIBS loggerui_text u2csim)
