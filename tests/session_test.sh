#!/usr/bin/env bash
# The README's run path end to end, on the display of the test run:
# scripts/session.sh starts u2c-sim and the real rigwell with DulmAudioDSP;
# the test switches the plug-in's connection on, moves it to the bus library
# (whose logger opens) and drags a control with real pointer events, finds
# the control's frames in the simulator's transfer log and their decoded
# lines in the logger's traffic pane, erases the EEPROM from the logger
# while the editor stays connected, closes the main window and checks the
# exit status, the saved session and that no process is left. A second run ends with Ctrl-C (SIGINT
# to the whole process group, as a terminal sends it).
#   session_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="$1"
bin="$2"
xd="$bin/tests/xdrive"
module="$bin/dulmmodule/DulmAudioDSP.so"

scratch="$(mktemp -d)"
sessions=()
cleanup() {
	for s in "${sessions[@]}"; do
		kill -KILL -- "-$s" 2>/dev/null || true
	done
	rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
	echo "FAIL: $*" >&2
	for f in "$scratch"/session*.out; do
		[ -f "$f" ] && { echo "--- $f" >&2; grep -v '^ALSA\|^Jack\|^Cannot connect\|jack server' "$f" >&2 || true; }
	done
	exit 1
}

# A private settings store, session file, single-instance lock and socket.
export XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/tmp"
export QUORL_SIM_LOG="$scratch/transfers.log"
mkdir -p "$TMPDIR"
chmod 700 "$TMPDIR"
prefs="$XDG_CONFIG_HOME/Quorl Audio/Preferences/Rigwell_SetupPreferences"
mkdir -p "$(dirname "$prefs")"
# The session is saved at exit when its file existed at the start.
cat >"$prefs" <<'EOF'
<RigwellPrefs>
	<SetupFlagsHeader>
		<LoadPrevSession Value="false"/>
		<UseVellixPlugins Value="false"/>
	</SetupFlagsHeader>
</RigwellPrefs>
EOF

# Starts the session in a process group of its own; prints its id.
start_session() {
	setsid "$src/scripts/session.sh" "$bin" >"$scratch/session$1.out" 2>&1 </dev/null &
	sessions+=("$!")
}

# True while the process runs (a finished child stays a zombie until waited).
running() {
	[ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# Sets `status` to the exit status of the session; fails when it does not
# end in time.
wait_session() {
	local pid="$1"
	for _ in $(seq 600); do
		running "$pid" || break
		sleep 0.1
	done
	running "$pid" && fail "the session did not end"
	status=0
	wait "$pid" || status=$?
}

# Nothing of a finished session runs on: neither its group nor the
# simulator (which has a session of its own), and its socket is gone.
check_nothing_left() {
	local pid="$1"
	if pgrep -s "$pid" >/dev/null; then fail "processes of the session are left: $(pgrep -a -s "$pid")"; fi
	if pgrep -f -- "--socket $TMPDIR/" >/dev/null; then fail "the simulator is left running"; fi
	if compgen -G "$TMPDIR/u2c-sim.*" >/dev/null; then fail "the simulator's socket folder is left"; fi
}

# OUT transfers of the simulator's log at or after a wall-clock time (ms).
frames_since() {
	awk -v t="$1" '$1 >= t && $3 == "OUT"' "$QUORL_SIM_LOG" | wc -l
}

# shellcheck source=scripts/lib/settle.sh
source "$src/scripts/lib/settle.sh"
# shellcheck source=scripts/lib/boxes.sh
source "$src/scripts/lib/boxes.sh"

# Waits until the log has not grown for half a second; fails after 50 s.
wait_quiet() {
	local last=-1 now
	for _ in $(seq 100); do
		now="$(wc -l <"$QUORL_SIM_LOG")"
		[ "$now" = "$last" ] && return 0
		last="$now"
		sleep 0.5
	done
	return 1
}

centre() { # top left bottom right -> x y
	echo $((($2 + $4) / 2)) $((($1 + $3) / 2))
}

now_ms() {
	date +%s%3N
}

# --- First run: connect, switch to the bus library's connection (its logger
# opens), drag a band's gain, close the main window. The logger's panes are
# read through the pane-dump module loaded into rigwell's toolkit.
panes="$scratch/panes.txt"
GTK_MODULES="$bin/tests/libkvpanedump.so" KV_PANE_DUMP="$panes" start_session 1
session="${sessions[-1]}"
main="$("$xd" wait "Rigwell & Runner" 60)" || fail "the main window did not appear"
editor="$("$xd" wait --prefix "Quorl Audio DulmDSP" 30)" || fail "the editor window did not appear"
"$xd" drawn "$editor" 10 || fail "the editor draws nothing"
# Without a window manager both windows start at the top-left corner: the
# editor goes below the main window's menu bar.
"$xd" move "$editor" 0 60 || fail "cannot move the editor"

# Connectivity on: the plug-in finds the simulated board and chip through
# the bridge library.
read -r x y < <(centre $("$xd" layout-rect "$module" 177))
"$xd" click "$editor" "$x" "$y" || fail "no pointer events"
for _ in $(seq 100); do
	[ "$(frames_since 0)" -gt 0 ] && break
	sleep 0.1
done
[ "$(frames_since 0)" -gt 0 ] || fail "switching the connection on sent nothing to the board"
close_patch_file_box || fail "the missing patch file was not reported"
wait_quiet || fail "the transfer log never went quiet"

# Utilities, "Set Connection to Terovan Device (Debug)" (the fourth item):
# the connection goes through the bus library, whose logger opens.
read -r x y < <(centre $("$xd" layout-rect "$module" Utilities))
"$xd" click "$editor" "$x" "$y"
sleep 0.5
"$xd" keys Down Down Down Down Return
close_patch_file_box || fail "the missing patch file was not reported (bus library)"
logger="$("$xd" wait --prefix "Terovan DulmLogger" 30)" || fail "the logger window did not appear"
"$xd" move "$logger" 239 435 || fail "cannot move the logger"
settle_after_checks "$QUORL_SIM_LOG" || fail "the connection switch never ended"
for _ in $(seq 50); do
	grep -q "Chip Hardware Ver: QX410x" "$panes" 2>/dev/null && break
	sleep 0.1
done
grep -q "Chip Hardware Ver: QX410x" "$panes" 2>/dev/null || fail "the logger does not show the chip"

# The first band on, its gain dragged up: the band's frames reach the board
# and the logger names them, with the new gain.
read -r x y < <(centre $("$xd" layout-rect "$module" 0))
"$xd" click "$editor" "$x" "$y"
wait_quiet || fail "the transfer log never went quiet"
read -r x y < <(centre $("$xd" layout-rect "$module" 2))
before="$(now_ms)"
"$xd" drag "$editor" "$x" "$y" $((x + 30)) "$y" >/dev/null || fail "no pointer events"
gain_lines() {
	local n
	n="$(grep -c '// Gain: [1-9]' "$panes" 2>/dev/null)" || true
	echo "${n:-0}"
}
for _ in $(seq 50); do
	[ "$(gain_lines)" -gt 0 ] && break
	sleep 0.1
done
band_frames="$(awk -v t="$before" '$1 >= t && $3 == "OUT" && / 00 A1 05$/' "$QUORL_SIM_LOG" | wc -l)"
[ "$band_frames" -gt 0 ] || fail "the drag sent no band frames to the board"
[ "$(gain_lines)" -gt 0 ] || fail "the logger shows no raised gain: $(grep -c 'Load PEQ Start' "$panes") band loads"

# An EEPROM erase from the logger, with the editor open and connected: the
# erase holds the bus library's lock for its whole length while the host's
# timers go on (the plug-in's once-a-second device check, which the busy bus
# refuses). The erase runs to its end, its box comes up, and the session goes
# on: the editor keeps its connection and its checks reach the chip again.
button_centre() { # ID: the logger button's centre in the logger window
	awk -v id="#$1" 'index($0, "@@ Terovan DulmLogger") == 1 && $(NF - 4) == id {
		print $(NF - 3) + int($(NF - 1) / 2), $(NF - 2) + int($NF / 2); exit }' "$panes" 2>/dev/null
}
for _ in $(seq 50); do
	[ -n "$(button_centre 1011)" ] && break
	sleep 0.1
done
read -r x y < <(button_centre 1011) || fail "the logger shows no Erase button"
"$xd" move "$logger" 239 435 || fail "cannot raise the logger"
"$xd" click "$logger" "$x" "$y" || fail "no pointer events"
# The erase ends with its box: "Erase EEPROM device" when it went through,
# "EEPROM Write" when a write failed.
box=""
title=""
for _ in $(seq 60); do
	for title in "Erase EEPROM device" "EEPROM Write"; do
		box="$("$xd" wait "$title" 0 2>/dev/null)" && break 2
	done
	sleep 1
done
[ -n "$box" ] || fail "the erase never ended: the session hangs"
[ "$title" = "Erase EEPROM device" ] || fail "the erase failed: its box is \"$title\""
for _ in $(seq 50); do
	grep -q -- "-> Erase EEPROM device ... " "$panes" 2>/dev/null && break
	sleep 0.1
done
grep -q -- "-> Erase EEPROM device ... " "$panes" || fail "the logger does not show the erase"
# The box's caption is the same for a failed verify: the logger's steps say
# whether the erased device read back erased.
erase_verified() {
	awk '/-> Erase EEPROM device \.\.\. Done\./ { erased = 1 }
		erased && /-> Verify \.\.\. Done\./ { verified = 1 } END { exit !verified }' "$panes" 2>/dev/null
}
for _ in $(seq 50); do
	erase_verified && break
	sleep 0.1
done
erase_verified || fail "the erase did not verify: $(grep -o -- '-> [A-Z][^>]*' "$panes" | tail -4 | tr '\n' '|')"
"$xd" close "$box" || fail "cannot close the erase box"
"$xd" drawn "$editor" 10 || fail "the editor draws nothing after the erase"
# The editor's once-a-second check reaches the chip again.
after="$(now_ms)"
alive_checks() {
	awk -v t="$after" '$1 >= t && $3 == "OUT" && / 73 03 00 00 00 .. B7 ..$/' "$QUORL_SIM_LOG" | wc -l
}
for _ in $(seq 100); do
	[ "$(alive_checks)" -gt 0 ] && break
	sleep 0.1
done
[ "$(alive_checks)" -gt 0 ] || fail "the editor lost its chip during the erase"

"$xd" close "$main" || fail "cannot close the main window"
wait_session "$session"
[ "$status" = 0 ] || fail "the session ended with $status"
check_nothing_left "$session"
grep -q "<FileID Value=\"$module\"/>" "$prefs" || fail "the session file does not hold the plug-in"
[ -f "$QUORL_SIM_LOG" ] || fail "the transfer log is gone"
grep -q "simulator stopped; its transfer log: $QUORL_SIM_LOG" "$scratch/session1.out" ||
	fail "the script did not say where the transfer log is"

# --- Second run: Ctrl-C in the terminal ends everything cleanly.
touch -d '1 hour ago' "$prefs"
marker="$(stat -c %Y "$prefs")"
start_session 2
session="${sessions[-1]}"
"$xd" wait "Rigwell & Runner" 60 >/dev/null || fail "the main window did not appear (second run)"
# The signal is for the running session: its editor draws from the loop.
editor="$("$xd" wait --prefix "Quorl Audio DulmDSP" 30)" || fail "the editor window did not appear (second run)"
"$xd" drawn "$editor" 10 || fail "the editor draws nothing (second run)"
kill -INT -- "-$session"
wait_session "$session"
[ "$status" = 0 ] || fail "Ctrl-C ended the session with $status"
check_nothing_left "$session"
[ "$(stat -c %Y "$prefs")" -gt "$marker" ] || fail "Ctrl-C did not save the session"
echo "session test passed"
