#!/usr/bin/env bash
# Builds the optimised tree and runs every benchmark program in it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" release
# The benchmarks that open windows need a display: a virtual one when
# there is none.
run=()
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
	run=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi
for b in "$root"/build-release/bench/bench_*; do
	[ -x "$b" ] || continue
	echo "== $(basename "$b")"
	"${run[@]}" "$b" "$@"
done
