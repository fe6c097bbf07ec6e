#!/usr/bin/env bash
# Installs, builds and runs every test: formatting and layering, then the
# whole CTest suite under a virtual display and a JACK server with the dummy
# driver. KV_JOBS limits the parallel build jobs and tests (default: one
# per core); further arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/build.sh" test
"$root/scripts/check-format.sh"
"$root/scripts/check-layers.sh"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The software rasterizer draws on the calling thread: no worker threads left
# running when the leak check walks the process at exit.
export LP_NUM_THREADS=0

# Tests never touch the real home folder.
scratch="$(mktemp -d)"
jack_pid=""
cleanup() {
	if [ -n "$jack_pid" ]; then kill "$jack_pid" 2>/dev/null || true; fi
	rm -rf "$scratch"
}
trap cleanup EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" TMPDIR="$scratch/tmp"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$TMPDIR"
# Like /tmp: tests that drop privileges must still reach their files.
chmod 755 "$scratch"
chmod 1777 "$TMPDIR"

# Audio-device tests talk to a real JACK server running the dummy driver, at
# the host's session rate (PortAudio opens JACK only at the server's rate).
if command -v jackd >/dev/null; then
	export JACK_NO_AUDIO_RESERVATION=1 JACK_DEFAULT_SERVER="kvtest$$"
	jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 256 >"$scratch/jackd.log" 2>&1 &
	jack_pid=$!
	if ! jack_wait -w -t 10 >/dev/null 2>&1; then
		echo "The JACK server did not come up:" >&2
		cat "$scratch/jackd.log" >&2
		exit 1
	fi
fi

cd "$root/build"
# The display server never resets: test programs come and go in parallel, and
# one starting while the last other client leaves would meet the reset.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
	ctest --output-on-failure --timeout 300 -j "${KV_JOBS:-$(nproc)}" "$@"
