#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR] [CMAKE OPTIONS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
cmake -S "$root" -B "$root/$dir" -G Ninja -DPW_WERROR=ON "$@" >/dev/null
ninja -C "$root/$dir"
