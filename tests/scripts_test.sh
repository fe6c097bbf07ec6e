#!/usr/bin/env bash
# The scripts around the programs: the run path without a display falls
# back to the command-line smoke test (saying so in one line), and the udev
# rule is made for exactly the ids given.
#   scripts_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="$1"
bin="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
	echo "FAIL: $*" >&2
	[ -f "$scratch/out" ] && grep -v '^ALSA\|^Jack\|^Cannot connect\|jack server' "$scratch/out" >&2
	exit 1
}
export XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/tmp"
export QUORL_SIM_LOG="$scratch/transfers.log"
mkdir -p "$TMPDIR"
chmod 700 "$TMPDIR"

# No display: one line, then the smoke test of both plug-in folders, which
# loads DulmAudioDSP through the host against the simulator. The script
# brings the leak check's suppressions of the system libraries itself.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u LSAN_OPTIONS "$src/scripts/session.sh" "$bin" >"$scratch/out" 2>&1 </dev/null || status=$?
[ "$status" = 0 ] || fail "the smoke test run ended with $status"
[ "$(grep -c '^No display' "$scratch/out")" = 1 ] || fail "no one-line notice of the missing display"
grep -q "OK loading plug-in: DulmAudioDSP" "$scratch/out" || fail "DulmAudioDSP was not loaded"
if compgen -G "$TMPDIR/u2c-sim.*" >/dev/null; then fail "the simulator's socket folder is left"; fi

# Options go to rigwell unchanged (here: its usage text, exit status 0). A
# run that never talks to the board leaves the last session's log as it was.
echo "a transfer of the last session" >"$QUORL_SIM_LOG"
"$src/scripts/session.sh" "$bin" -h -s >"$scratch/out" 2>&1 </dev/null || fail "rigwell -h failed"
grep -q "^Usage:" "$scratch/out" || fail "the options did not reach rigwell"
grep -q "last session" "$QUORL_SIM_LOG" || fail "rigwell -h emptied the last session's transfer log"

# The udev rule: two lines per id, lower-case hexadecimal; bad ids refused.
rule="$("$src/scripts/install-udev-rule.sh" --print 1A2B:00fF 0001:0002)"
[ "$(grep -c '^SUBSYSTEM=="usb".*ATTR{idVendor}=="1a2b", ATTR{idProduct}=="00ff"' <<<"$rule")" = 1 ] ||
	fail "no USB line for 1a2b:00ff"
[ "$(grep -c '^SUBSYSTEM=="i2c-dev".*ATTRS{idVendor}=="0001", ATTRS{idProduct}=="0002"' <<<"$rule")" = 1 ] ||
	fail "no i2c-dev line for 0001:0002"
[ "$(grep -vc '^#' <<<"$rule")" = 4 ] || fail "the rule has other lines than two per id"
for bad in 12:34 1a2b-00ff 1a2b:00fg "1a2b:00ff;x"; do
	if "$src/scripts/install-udev-rule.sh" --print "$bad" >/dev/null 2>&1; then fail "the id \"$bad\" was taken"; fi
done
if "$src/scripts/install-udev-rule.sh" --print >/dev/null 2>&1; then fail "no id was taken"; fi
# A second session never empties the transfer log of one that runs: the
# first waits in rigwell's key prompt while the second starts and ends.
echo "a transfer of an earlier session" >"$QUORL_SIM_LOG"
mkfifo "$scratch/keys"
"$src/scripts/session.sh" "$bin" -h <"$scratch/keys" >"$scratch/first" 2>&1 &
first=$!
exec {keys}>"$scratch/keys"
for _ in $(seq 100); do
	grep -q "Type any key" "$scratch/first" && break
	sleep 0.1
done
echo "a transfer of the running session" >>"$QUORL_SIM_LOG"
"$src/scripts/session.sh" "$bin" -h -s >"$scratch/out" 2>&1 </dev/null || fail "the second session failed"
grep -q "^another session writes the transfer log" "$scratch/out" || fail "the second session did not say where its log goes"
[ "$(grep -c "running session" "$QUORL_SIM_LOG")" = 1 ] || fail "the running session's transfer log was emptied"
echo k >&"$keys"
exec {keys}>&-
wait "$first" || fail "the first session failed"
# Neither session left a file beside the log: no lock file, and no empty log
# of the second one.
left="$(cd "$scratch" && ls -d transfers*)"
[ "$left" = transfers.log ] || fail "files left beside the transfer log: $left"

# The benchmark script: a name picks programs, Google Benchmark options go
# only to the programs made with it, other options to the plain tools, and
# a failing program does not stop the rest.
benches="$scratch/bench"
mkdir -p "$benches"
printf '%s\n' '#include <benchmark/benchmark.h>' '#include <cstdio>' \
	'int main(int argc, char** argv) {' '    benchmark::Initialize(&argc, argv);' \
	'    if (benchmark::ReportUnrecognizedArguments(argc, argv))' '        return 1;' \
	'    std::printf("google ran\n");' '    return 0;' '}' >"$scratch/google.cpp"
g++ -o "$benches/bench_google" "$scratch/google.cpp" -lbenchmark -lpthread || fail "cannot build the Google Benchmark probe"
printf '%s\n' '#!/bin/sh' 'for a in "$@"; do case "$a" in --benchmark*) exit 3 ;; esac; done' \
	'echo "tool ran: $*"' >"$benches/bench_tool"
printf '#!/bin/sh\nexit 1\n' >"$benches/bench_broken"
chmod +x "$benches/bench_tool" "$benches/bench_broken"
bench() { QUORL_BENCH_DIR="$benches" "$src/scripts/bench.sh" "$@" >"$scratch/out" 2>&1; }
bench --help || fail "bench.sh --help failed"
grep -q "^  bench_tool$" "$scratch/out" || fail "bench.sh --help does not list the benchmarks"
if grep -q "ran" "$scratch/out"; then fail "bench.sh --help ran benchmarks"; fi
bench tool google --benchmark_min_time=0.01 --starts 2 || fail "bench.sh with options failed"
grep -q "^google ran$" "$scratch/out" || fail "the Google Benchmark program did not run"
grep -q "^tool ran: --starts 2$" "$scratch/out" || fail "the tool did not get its options alone"
status=0
bench --benchmark_min_time=0.01 || status=$?
[ "$status" = 1 ] || fail "a failing benchmark did not fail the run"
grep -q "^benchmarks that failed: bench_broken$" "$scratch/out" || fail "the failing benchmark is not named"
grep -q "^google ran$" "$scratch/out" || fail "the run stopped at the failing benchmark"
if bench nosuch; then fail "an unknown benchmark name was taken"; fi
echo "scripts test passed"
