#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR] [CMAKE OPTIONS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Paths below the clone are hashed relative to it, so a clone elsewhere reuses the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"
cmake -S "$root" -B "$root/$dir" -G Ninja -DPW_WERROR=ON "${launcher[@]}" "$@" >/dev/null
ninja -C "$root/$dir"
