#!/usr/bin/env bash
# Builds the optimised tree and runs every benchmark program in it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" release
for b in "$root"/build-release/bench/bench_*; do
	[ -x "$b" ] || continue
	echo "== $(basename "$b")"
	"$b" "$@"
done
