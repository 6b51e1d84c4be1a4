#!/usr/bin/env bash
# Installs what is needed, builds Nimbara with its tests and runs them.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
shift || true
"$ROOT/scripts/install-deps.sh"
NIMBARA_BUILD_TYPE="${NIMBARA_BUILD_TYPE:-Debug}" "$ROOT/scripts/build.sh" "$BUILD" -DNIMBARA_WERROR=ON "$@"
cd "$BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 300
