#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs the module's main job through pwhost.
# Extra arguments go to pwhost (for example: scripts/run-main.sh help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build >/dev/null
exec "$root/build/bin/pwhost" "$@"
