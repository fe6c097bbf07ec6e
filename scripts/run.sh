#!/usr/bin/env bash
# Installs, builds, and runs the tool set against the simulated bridge board.
# The simulator daemon u2c-sim stands in for the board and the chip; the
# libraries find it through TEROVAN_U2C_SOCKET.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" release

bin="$root/build-release"
sim="$bin/sim/u2c-sim"
host="$bin/host/rigwell"

run_dir="$(mktemp -d)"
sim_pid=""
cleanup() {
	if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
	rm -rf "$run_dir"
}
trap cleanup EXIT

if [ -x "$sim" ]; then
	export TEROVAN_U2C_SOCKET="$run_dir/board0.sock"
	"$sim" --socket "$TEROVAN_U2C_SOCKET" --log "$run_dir/transfers.log" &
	sim_pid=$!
	for _ in $(seq 50); do [ -S "$TEROVAN_U2C_SOCKET" ] && break; sleep 0.1; done
	echo "simulated board on $TEROVAN_U2C_SOCKET"
fi

plugins="$bin/plugins"
if [ -x "$host" ] && [ "$#" -gt 0 ]; then
	"$host" "$@"
elif [ -x "$host" ]; then
	# The smoke test of every plug-in of the build's plug-in folder.
	echo "== rigwell -c -s -t -p $plugins"
	"$host" -c -s -t -p "$plugins"
	# A cancellation run: a sox-made file (44.1 kHz, the session rate)
	# through the pass-through plug-in, compared with itself.
	input="$run_dir/tone.wav"
	output="$bin/run-output"
	mkdir -p "$output"
	sox -q -r 44100 -c 2 -n -b 16 "$input" synth 2 sine 440 vol 0.5
	echo "== rigwell -c -s -n PQ5S -p $plugins -f $input -r $input -o $output"
	"$host" -c -s -n PQ5S -p "$plugins" -f "$input" -r "$input" -o "$output"
	echo "output file: $output/tone_PQ5S.wav ($(soxi -s "$output/tone_PQ5S.wav") frames)"
else
	echo "The host program is not built yet; the tools built so far:"
	find "$bin" -maxdepth 3 -type f -executable \( -name 'u2c-sim' -o -name 'kvres' -o -name 'rigwell' \) | sed "s|$bin/|  |"
	if [ -x "$sim" ]; then "$sim" --help; fi
fi
