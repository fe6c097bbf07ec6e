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
# loads DulmAudioDSP through the host against the simulator.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$src/scripts/session.sh" "$bin" >"$scratch/out" 2>&1 </dev/null || status=$?
[ "$status" = 0 ] || fail "the smoke test run ended with $status"
[ "$(grep -c '^No display' "$scratch/out")" = 1 ] || fail "no one-line notice of the missing display"
grep -q "OK loading plug-in: DulmAudioDSP" "$scratch/out" || fail "DulmAudioDSP was not loaded"
if compgen -G "$TMPDIR/u2c-sim.*" >/dev/null; then fail "the simulator's socket folder is left"; fi

# Options go to rigwell unchanged (here: its usage text, exit status 0).
"$src/scripts/session.sh" "$bin" -h -s >"$scratch/out" 2>&1 </dev/null || fail "rigwell -h failed"
grep -q "^Usage:" "$scratch/out" || fail "the options did not reach rigwell"

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
echo "scripts test passed"
