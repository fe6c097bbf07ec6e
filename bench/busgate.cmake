# Decoding and logging a full capture buffer through the bus library's
# command decoder.
kv_add_bench(bench_busgate SOURCES bench_busgate.cpp LIBS busgate_core u2csim)
