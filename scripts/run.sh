#!/usr/bin/env bash
# Installs, builds (Release), and runs the tool set against the simulated
# bridge board: rigwell opens with DulmAudioDSP's editor, the plug-in talks
# to u2c-sim through the bridge libraries. Options are passed to rigwell
# (scripts/session.sh describes the run).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" release
exec "$root/scripts/session.sh" "$root/build-release" "$@"
