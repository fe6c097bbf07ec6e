# Building and writing XML element trees against expat's bare parse.
find_package(EXPAT REQUIRED)
kv_add_bench(bench_xml SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_xml.cpp
             LIBS kvfoundation_xml EXPAT::EXPAT)
