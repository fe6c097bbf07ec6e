# The real rigwell with DulmAudioDSP against u2c-sim on a display: start to
# the editor's first frame, and a drag's last pointer event to its frames at
# the board. A timed program (not Google Benchmark): it measures whole
# processes from outside.
add_executable(bench_session ${CMAKE_CURRENT_LIST_DIR}/bench_session.cpp)
kv_target_defaults(bench_session)
target_link_libraries(bench_session PRIVATE kvxdrive u2csim)
add_dependencies(bench_session rigwell DulmAudioDSP u2c-sim)
target_compile_definitions(bench_session PRIVATE
  KV_BENCH_RIGWELL="$<TARGET_FILE:rigwell>"
  KV_BENCH_U2C_SIM="$<TARGET_FILE:u2c-sim>"
  KV_BENCH_MODULES="$<TARGET_FILE_DIR:DulmAudioDSP>")
