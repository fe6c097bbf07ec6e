# Resources: opening a container and reading one resource from a 100 MB
# library against reading the whole file.
kv_add_bench(bench_rm SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_rm.cpp LIBS kvfoundation_rm)
