#!/usr/bin/env bash
# Installs the Debian packages, configures and builds the project.
#   scripts/build.sh [test|release]   (default: test)
# "test" is the sanitizer build in build/, "release" the optimised build in
# build-release/ (benchmarks included). KV_JOBS limits the parallel jobs
# (default: one per core).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kind="${1:-test}"

"$root/scripts/install-deps.sh"

case "$kind" in
test)
	dir="$root/build"
	flags=(-DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BUILD_TESTS=ON
		-DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DKV_WARNINGS_AS_ERRORS=ON)
	;;
release)
	dir="$root/build-release"
	flags=(-DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=ON
		-DKV_WARNINGS_AS_ERRORS=ON)
	;;
*)
	echo "usage: $0 [test|release]" >&2
	exit 2
	;;
esac

cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}"
cmake --build "$dir" -j "${KV_JOBS:-$(nproc)}"
