#!/usr/bin/env bash
# Fails when a file includes a header of a library above its own: the
# libraries form layers (each may use the public headers of those listed
# under it below, and of theirs), and no include may run upwards.
#
# Production code (src/ and include/) keeps to the layers; a folder's tests
# may also use the simulator and the test helpers; the whole-system tests
# (tests/) and the benchmarks (bench/) may use everything.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# library: the libraries it builds on directly. The names are the first
# part of an include path ("usb/..." is platform/usb's public header).
declare -A below=(
  [foundation]=""
  [usb]="foundation"
  [registry]="foundation"
  [ini]="foundation"
  [dimax]="foundation"
  [busaccess]="usb foundation"
  [sim]="busaccess usb dimax"
  [bridge]="busaccess"
  [loggerui]="busaccess ini registry"
  [ui]="foundation"
  [audio]="foundation registry"
  [hosting]="audio ui registry"
  [guilib]="hosting ui"
  [plugin]="guilib bridge busaccess dimax registry"
  [host]="hosting audio ui registry"
  [kvres]="foundation"
)
test_helpers="sim testsupport xdrive fuzz"
# Libraries a folder's tests may use beside those: the bus library's daemon
# tests read back through the bridge library what it wrote to the board.
declare -A test_peers=([busaccess]="bridge")

# The library together with everything beneath it.
reachable() {
  local seen=" $1 " queue=($1) lib next
  while [ ${#queue[@]} -gt 0 ]; do
    lib=${queue[0]}
    queue=("${queue[@]:1}")
    for next in ${below[$lib]}; do
      case "$seen" in *" $next "*) ;; *) seen+="$next " queue+=("$next") ;; esac
    done
  done
  echo "$seen"
}

# The library a file belongs to: platform/<name>/ and tools/<name>/ are
# libraries of their own.
library_of() {
  local path=$1
  case "$path" in platform/*/* | tools/*/*) path=${path#*/} ;; esac
  lib=${path%%/*}
}

declare -A reach
for lib in "${!below[@]}"; do
  reach[$lib]=$(reachable "$lib")
done

status=0
while IFS=: read -r file line target; do
  library_of "$file"
  [ -n "${below[$lib]+set}" ] && [ -n "${below[$target]+set}" ] || continue
  allowed=${reach[$lib]}
  case "/$file" in */tests/*) allowed+=" $test_helpers ${test_peers[$lib]:-} " ;; esac
  case "$allowed" in *" $target "*) continue ;; esac
  echo "$file:$line: includes a header of $target/, which sits above $lib/" >&2
  status=1
done < <(git grep --untracked -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][a-z_]+/' \
           -- '*.h' '*.hpp' '*.c' '*.cpp' '*.inc' ':!tests/' ':!bench/' |
         sed -E 's/^([^:]+):([0-9]+):.*["<]([a-z_]+)\/.*$/\1:\2:\3/')

if [ $status -eq 0 ]; then
  echo "layers: no include runs upwards"
fi
exit $status
