#!/usr/bin/env bash
# Fails when a source file of the project is not formatted with .clang-format.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.h' '*.hpp' '*.c' '*.cpp' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
if [ ${#files[@]} -eq 0 ]; then exit 0; fi
clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} files clean"
