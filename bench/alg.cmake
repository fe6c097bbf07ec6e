# One band-gain change of the plug-in's algorithm object against the bus time
# of the frames it makes.
kv_add_bench(bench_alg SOURCES bench_alg.cpp LIBS dulmalg)
kv_add_resources(bench_alg ${PROJECT_SOURCE_DIR}/plugin/resources/resources.txt)
