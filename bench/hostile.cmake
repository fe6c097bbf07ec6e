# Hostile files: what a deeply nested hive, a deeply nested XML file and an
# ELF file whose resource section claims gigabytes cost to refuse or handle.
kv_add_bench(bench_hostile SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_hostile.cpp
             LIBS kvregistry kvfoundation_xmlfile kvfoundation_rm)
