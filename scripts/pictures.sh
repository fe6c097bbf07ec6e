#!/usr/bin/env bash
# Makes the README's pictures from the real programs on a virtual display,
# against the simulated board: DulmAudioDSP's editor after a band's gain has
# moved, collapsed (docs/pictures/editor.png) and expanded
# (docs/pictures/editor-expanded.png), and the logger window with the decoded
# traffic of the bus library's connection (docs/pictures/logger.png).
#   scripts/pictures.sh [BUILD_DIR]     (default: build-release, built first)
# Run it again whenever the windows change. The user's own settings are not
# touched: the run keeps its settings in a temporary folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/docs/pictures"

if [ "${1:-}" != "--on-display" ]; then
	if [ "$#" -ge 1 ]; then
		bin="$(cd "$1" && pwd)"
	else
		"$root/scripts/build.sh" release
		bin="$root/build-release"
	fi
	exec xvfb-run -a -s "-screen 0 1280x1100x24 -noreset" "$0" --on-display "$bin"
fi
bin="$2"
xd="$bin/tests/xdrive"
module="$bin/dulmmodule/DulmAudioDSP.so"

scratch="$(mktemp -d)"
session=""
cleanup() {
	if [ -n "$session" ]; then kill -KILL -- "-$session" 2>/dev/null || true; fi
	rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
	echo "pictures: $*" >&2
	[ -f "$scratch/session.out" ] && tail -20 "$scratch/session.out" >&2
	exit 1
}
export XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/tmp"
export QUORL_SIM_LOG="$scratch/transfers.log"
mkdir -p "$TMPDIR" "$out"
chmod 700 "$TMPDIR"

centre() { # top left bottom right -> x y
	echo $((($2 + $4) / 2)) $((($1 + $3) / 2))
}
rect() {
	"$xd" layout-rect "$module" "$1" || fail "no \"$1\" in the editor layout"
}
# shellcheck source=scripts/lib/settle.sh
source "$root/scripts/lib/settle.sh"
# shellcheck source=scripts/lib/boxes.sh
source "$root/scripts/lib/boxes.sh"
settle() {
	settle_after_checks "$QUORL_SIM_LOG" || fail "the simulated board never went quiet"
}

setsid "$root/scripts/session.sh" "$bin" >"$scratch/session.out" 2>&1 </dev/null &
session=$!
main="$("$xd" wait "Rigwell & Runner" 60)" || fail "the main window did not appear"
editor="$("$xd" wait --prefix "Quorl Audio DulmDSP" 30)" || fail "the editor window did not appear"
"$xd" drawn "$editor" 10 || fail "the editor draws nothing"
# Without a window manager every window starts at the top-left corner: the
# editor goes below the main window's menu bar.
"$xd" move "$editor" 0 60 || fail "cannot move the editor"

# Connected through the bridge library, then through the bus library (Utilities,
# "Set Connection to Terovan Device (Debug)", the fourth item), whose logger
# opens and decodes the traffic; the first band on and its gain up.
read -r x y < <(centre $(rect 177))
"$xd" click "$editor" "$x" "$y"
close_patch_file_box || fail "the missing patch file was not reported"
settle
read -r x y < <(centre $(rect Utilities))
"$xd" click "$editor" "$x" "$y"
sleep 0.5
"$xd" keys Down Down Down Down Return
close_patch_file_box || fail "the missing patch file was not reported (bus library)"
logger="$("$xd" wait --prefix "Terovan DulmLogger" 30)" || fail "the logger window did not appear"
"$xd" move "$logger" 239 435 || fail "cannot move the logger"
settle
read -r x y < <(centre $(rect 0))
"$xd" click "$editor" "$x" "$y"
settle
read -r x y < <(centre $(rect 2))
"$xd" drag "$editor" "$x" "$y" $((x + 40)) "$y" >/dev/null
settle
# Each window raised in turn for its picture.
"$xd" move "$editor" 0 60 || fail "cannot raise the editor"
sleep 0.5
"$xd" snap "$editor" "$out/editor.png" || fail "cannot take the editor's picture"
"$xd" move "$logger" 239 435 || fail "cannot raise the logger"
sleep 0.5
"$xd" snap "$logger" "$out/logger.png" || fail "cannot take the logger's picture"
# The whole editor: "Collapse" off.
"$xd" move "$editor" 0 60 || fail "cannot raise the editor"
read -r x y < <(centre $(rect 124))
"$xd" click "$editor" "$x" "$y"
sleep 1
"$xd" snap "$editor" "$out/editor-expanded.png" || fail "cannot take the expanded editor's picture"

"$xd" close "$main" || fail "cannot close the main window"
running() {
	[ -r "/proc/$session/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$session/status" 2>/dev/null
}
for _ in $(seq 300); do
	running || break
	sleep 0.1
done
running && fail "the session did not end"
wait "$session" || fail "the session ended with $?"
session=""
echo "pictures: $out/editor.png $out/editor-expanded.png $out/logger.png"
