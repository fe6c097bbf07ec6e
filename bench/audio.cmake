# Audio engine: the sample-rate converter against libsamplerate and soxr,
# WAV reading and writing against libsndfile.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KV_BENCH_AUDIO REQUIRED IMPORTED_TARGET samplerate soxr sndfile)
kv_add_bench(bench_audio SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_audio.cpp
             LIBS kvaudio PkgConfig::KV_BENCH_AUDIO)
