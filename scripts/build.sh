#!/usr/bin/env bash
# Configures and builds Nimbara.
# Usage: scripts/build.sh BUILD_DIR [cmake arguments...] [-- ninja targets...]
# Every setting that differs between the run build and the test build is passed each time, so a
# folder configured by one never carries a setting of the other.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
shift || true
CMAKE_ARGS=()
TARGETS=()
while [ $# -gt 0 ]; do
    if [ "$1" = "--" ]; then
        shift
        TARGETS=("$@")
        break
    fi
    CMAKE_ARGS+=("$1")
    shift
done
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${NIMBARA_BUILD_TYPE:-RelWithDebInfo}" \
    "${CMAKE_ARGS[@]}" >/dev/null
ninja -C "$BUILD" "${TARGETS[@]}"
