#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR] [CMAKE OPTIONS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$root/$dir" -G Ninja -DPW_WERROR=ON "${launcher[@]}" "$@" >/dev/null
ninja -C "$root/$dir"
