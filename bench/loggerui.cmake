# Decoded traffic of a full capture shown in the logger's traffic pane
# (needs a display: run under xvfb-run).
find_package(wxWidgets REQUIRED COMPONENTS core base)
kv_add_bench(bench_loggerui SOURCES bench_loggerui.cpp LIBS loggerui u2csim)
