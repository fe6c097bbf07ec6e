#!/usr/bin/env bash
# Builds the optimised tree and runs the benchmark programs in it.
#   scripts/bench.sh [NAME...] [OPTION...]
# NAME picks benchmarks ("bench_host" or "host"); without one, all run.
# Options of Google Benchmark (--benchmark_*) go to the programs made with
# it, every other option to the plain timed tools (bench_session's --starts N,
# ...); a program that fails does not stop the others, and the run ends 1
# naming the ones that failed. QUORL_BENCH_DIR runs the programs of that
# folder without building.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${QUORL_BENCH_DIR:-$root/build-release/bench}"

usage() {
	sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
	echo "Benchmarks:"
	for b in "$dir"/bench_*; do
		[ -x "$b" ] && echo "  $(basename "$b")"
	done
	return 0
}

names=()
google_options=()
tool_options=()
while [ "$#" -gt 0 ]; do
	case "$1" in
	-h | --help)
		usage
		exit 0
		;;
	--benchmark_*) google_options+=("$1") ;;
	-*)
		tool_options+=("$1")
		# A value that follows its option goes with it.
		if [ "$#" -gt 1 ] && [[ "$1" != *=* ]] && [[ "$2" != -* ]]; then
			tool_options+=("$2")
			shift
		fi
		;;
	*) names+=("bench_${1#bench_}") ;;
	esac
	shift
done

if [ -z "${QUORL_BENCH_DIR:-}" ]; then
	"$root/scripts/build.sh" release
fi
for name in "${names[@]}"; do
	if [ ! -x "$dir/$name" ]; then
		echo "no benchmark named $name in $dir (scripts/bench.sh --help lists them)" >&2
		exit 2
	fi
done

# The benchmarks that open windows need a display: a virtual one when
# there is none.
run=()
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
	run=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")
fi

# A Google Benchmark program is one that hands its options to
# benchmark::Initialize (seen in its dynamic symbols, without running it).
is_google_benchmark() {
	nm -D --undefined-only "$1" 2>/dev/null | grep -q '_ZN9benchmark10Initialize'
}

failed=()
for b in "$dir"/bench_*; do
	[ -x "$b" ] || continue
	name="$(basename "$b")"
	if [ "${#names[@]}" -gt 0 ] && [[ " ${names[*]} " != *" $name "* ]]; then
		continue
	fi
	if is_google_benchmark "$b"; then
		options=("${google_options[@]}")
	else
		options=("${tool_options[@]}")
	fi
	echo "== $name"
	"${run[@]}" "$b" "${options[@]}" || failed+=("$name")
done
if [ "${#failed[@]}" -gt 0 ]; then
	echo "benchmarks that failed: ${failed[*]}" >&2
	exit 1
fi
