# shellcheck shell=bash
# Sourced by scripts that drive a session against u2c-sim.
#
# settle_after_checks LOG: waits (bounded) until the board has seen nothing
# but reads and the once-a-second device checks (the plug-in's, and the bus
# library's version and status reads) for 1.2 s. After a connection switch,
# the reset that the first check runs (the factory values included) is over.
# Fails when the board is still busy after 48 s.
settle_after_checks() {
	local log="$1" last=-1 now
	for _ in $(seq 40); do
		now="$(awk '$3 == "OUT" && $4 != "C5" && !/ (14 B7|00 B7|00 B8) 00$|00 B1 0A$/' "$log" | wc -l)"
		[ "$now" = "$last" ] && return 0
		last="$now"
		sleep 1.2
	done
	return 1
}
