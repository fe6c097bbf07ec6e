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

if [ -x "$host" ] && [ "$#" -gt 0 ]; then
	"$host" "$@"
elif [ -x "$host" ]; then
	# The plug-in runs need plug-in hosting; until it is built, the host
	# shows its command line.
	"$host" -s -h
else
	echo "The host program is not built yet; the tools built so far:"
	find "$bin" -maxdepth 3 -type f -executable \( -name 'u2c-sim' -o -name 'kvres' -o -name 'rigwell' \) | sed "s|$bin/|  |"
	if [ -x "$sim" ]; then "$sim" --help; fi
fi
