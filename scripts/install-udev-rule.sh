#!/usr/bin/env bash
# Installs the udev rule that lets the user open the bridge boards and
# adapters with the given USB ids without root:
#   sudo scripts/install-udev-rule.sh VVVV:PPPP [VVVV:PPPP...]
#   scripts/install-udev-rule.sh --print VVVV:PPPP...   (only show the rule)
# The ids are those `lsusb` lists for the board (hexadecimal).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
template="$here/udev/70-quorl-u2c.rules.in"
target=/etc/udev/rules.d/70-quorl-u2c.rules

print=0
if [ "${1:-}" = "--print" ]; then
	print=1
	shift
fi
if [ "$#" -eq 0 ]; then
	echo "usage: $0 [--print] VVVV:PPPP [VVVV:PPPP...]  (USB ids as lsusb shows them)" >&2
	exit 2
fi

# The comment lines once, then the rule lines once per id.
rule="$(grep '^#' "$template")"$'\n'
for id in "$@"; do
	if ! [[ "$id" =~ ^[0-9A-Fa-f]{4}:[0-9A-Fa-f]{4}$ ]]; then
		echo "$0: \"$id\" is not a USB id of the form vvvv:pppp (four hexadecimal digits each)" >&2
		exit 2
	fi
	vendor="${id%%:*}"
	product="${id##*:}"
	vendor="${vendor,,}"
	product="${product,,}"
	rule+="$(grep -v '^#' "$template" | sed -e "s/@VENDOR@/$vendor/g" -e "s/@PRODUCT@/$product/g")"$'\n'
done

if [ "$print" -eq 1 ]; then
	printf '%s' "$rule"
	exit 0
fi
tmp="$(mktemp "$(dirname "$target")/.70-quorl-u2c.XXXXXX")"
trap 'rm -f "$tmp"' EXIT
printf '%s' "$rule" >"$tmp"
chmod 644 "$tmp"
mv "$tmp" "$target"
echo "installed $target"
if command -v udevadm >/dev/null; then
	udevadm control --reload-rules
	udevadm trigger --subsystem-match=usb --subsystem-match=i2c-dev
fi
