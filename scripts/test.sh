#!/usr/bin/env bash
# Installs what is needed, builds Nimbara with its tests and runs them.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
# The tests build in their own folder (build-tests/ by default), apart from the run build.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build-tests}"
shift || true
"$ROOT/scripts/install-deps.sh"
NIMBARA_BUILD_TYPE="${NIMBARA_BUILD_TYPE:-Debug}" "$ROOT/scripts/build.sh" "$BUILD" \
    -DNIMBARA_BUILD_TESTS=ON -DNIMBARA_WERROR=ON -DNIMBARA_SANITIZE=OFF -DNIMBARA_FUZZ=OFF "$@"
cd "$BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 300
