# shellcheck shell=bash
# Message boxes of the tuning plug-in met on the way through a session, for
# the scripts that drive the real programs (needs $xd, the window driver).

# No patch file for the simulated chip lies in the module folder: each full
# reset of the chip says so in a "POP File" box over the editor. The box is
# closed as a user would; fails when none came up within 20 s.
close_patch_file_box() {
	local box
	box="$("$xd" wait "POP File" 20)" || return 1
	"$xd" close "$box"
}
