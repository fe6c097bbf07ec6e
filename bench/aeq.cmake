# An on-the-fly AEQ send of ten filters against the in-process simulated
# board.
kv_add_bench(bench_aeq SOURCES bench_aeq.cpp LIBS loggerui_pages u2csim)
