#!/usr/bin/env bash
# Runs the tool set of a built tree against the simulated bridge board:
#   scripts/session.sh BUILD_DIR [rigwell options...]
# u2c-sim serves the board and the chip on a private socket, and both bridge
# libraries find it through TEROVAN_U2C_SOCKET. Without options, rigwell
# opens its main view with DulmAudioDSP from the build's module folder and
# shows its editor; with options, rigwell gets exactly those. Without a
# display, the command-line smoke test runs instead.
#
# Ctrl-C (or closing the main window) ends rigwell through its normal
# shutdown (editors closed, session saved); the simulator is stopped after
# it. The transfer log stays in BUILD_DIR/u2c-sim-transfers.log (or the file
# named by QUORL_SIM_LOG); it starts afresh at the first transfer of a run, so
# a run that never talks to the board (rigwell -h, say) leaves it as it was.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ "$#" -lt 1 ] || [ ! -d "$1" ]; then
	echo "usage: $0 BUILD_DIR [rigwell options...]" >&2
	exit 2
fi
bin="$(cd "$1" && pwd)"
shift

sim="$bin/sim/u2c-sim"
host="$bin/host/rigwell"
xdrive="$bin/tests/xdrive"
modules="$bin/dulmmodule"
plugins="$bin/plugins"
log="${QUORL_SIM_LOG:-$bin/u2c-sim-transfers.log}"
for program in "$sim" "$host"; do
	if [ ! -x "$program" ]; then
		echo "$program is not built" >&2
		exit 1
	fi
done

# The socket lives in a folder only this user can enter.
run_dir="$(mktemp -d "${XDG_RUNTIME_DIR:-${TMPDIR:-/tmp}}/u2c-sim.XXXXXX")"
sim_pid=""
stop_simulator() {
	[ -n "$sim_pid" ] || return 0
	kill -TERM "$sim_pid" 2>/dev/null || true
	for _ in $(seq 50); do
		kill -0 "$sim_pid" 2>/dev/null || break
		sleep 0.1
	done
	kill -KILL "$sim_pid" 2>/dev/null || true
	wait "$sim_pid" 2>/dev/null || true
	sim_pid=""
}
cleanup() {
	stop_simulator
	rm -rf "$run_dir"
}
trap cleanup EXIT
# rigwell ends itself on Ctrl-C; this script then stops the simulator.
trap ':' INT TERM HUP

# The sanitizer tree's programs report leaks at exit: the system libraries'
# own (fontconfig's caches and the like) are left out, as in the tests.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# The transfer log is written only when no other session writes it: a
# session holds a lock on the log itself while it runs, and a second session
# started meanwhile writes a log of its own beside it, which is made only when
# it has a transfer to hold.
exec {log_lock}>>"$log"
if ! flock -n "$log_lock"; then
	exec {log_lock}>&-
	log="${log%.log}-$$.log"
	echo "another session writes the transfer log; this one's goes to $log (once there are transfers)"
fi
# The simulator runs in a session of its own, so that the terminal's Ctrl-C
# reaches rigwell alone and the board stays until rigwell has let it go.
export TEROVAN_U2C_SOCKET="$run_dir/board0.sock"
# The chip runs its current firmware (A2), whose commands the logger names.
setsid "$sim" --socket "$TEROVAN_U2C_SOCKET" --log "$log" --fresh-log --chip-subversion 0x0606 </dev/null &
sim_pid=$!
for _ in $(seq 100); do
	[ -S "$TEROVAN_U2C_SOCKET" ] && break
	kill -0 "$sim_pid" 2>/dev/null || break
	sleep 0.05
done
if [ ! -S "$TEROVAN_U2C_SOCKET" ]; then
	echo "the simulated board did not start" >&2
	exit 1
fi
echo "simulated board on $TEROVAN_U2C_SOCKET; transfer log: $log"

has_display() {
	if [ -x "$xdrive" ]; then
		"$xdrive" probe 2>/dev/null
	else
		[ -n "${DISPLAY:-}" ]
	fi
}

status=0
if [ "$#" -gt 0 ]; then
	"$host" "$@" || status=$?
elif has_display; then
	echo "== rigwell -p $modules -n PQ5S"
	"$host" -p "$modules" -n PQ5S || status=$?
else
	echo "No display: running the command-line smoke test instead."
	echo "== rigwell -c -s -t -p $plugins"
	"$host" -c -s -t -p "$plugins" || status=$?
	if [ "$status" -eq 0 ]; then
		echo "== rigwell -c -s -t -p $modules"
		"$host" -c -s -t -p "$modules" || status=$?
	fi
fi
stop_simulator
if [ -e "$log" ]; then
	echo "simulator stopped; its transfer log: $log"
else
	echo "simulator stopped; it had no transfers to log"
fi
exit "$status"
