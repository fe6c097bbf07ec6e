# Audio device: the device's callback against a bare PortAudio callback on a
# JACK dummy server that the benchmark starts itself.
kv_add_bench(bench_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_device.cpp LIBS kvaudio)
