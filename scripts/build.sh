#!/usr/bin/env bash
# Configures and builds Nimbara. Usage: scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
shift || true
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${NIMBARA_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
ninja -C "$BUILD"
