#!/usr/bin/env bash
# Installs what is needed, builds Nimbara, writes the demo iPhone and starts the program on it.
# Usage: scripts/demo.sh [--no-start]   (--no-start: everything but starting the program)
set -euo pipefail
START=1
if [ "${1:-}" = "--no-start" ]; then
    START=0
fi
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/install-deps.sh"
# Only what the demo runs is built, in its own folder (the tests build in build-tests/): the
# program, the backup tool it runs beside itself, and the device writer.
"$ROOT/scripts/build.sh" "$ROOT/build" -DNIMBARA_BUILD_TESTS=OFF -DNIMBARA_WERROR="${NIMBARA_WERROR:-OFF}" \
    -DNIMBARA_SANITIZE=OFF -DNIMBARA_FUZZ=OFF -- nimbara nimbara-backup nimbara-simdevice

DATA="${XDG_DATA_HOME:-$HOME/.local/share}/nimbara-demo"
DEVICES="$DATA/devices"
mkdir -p "$DEVICES"
"$ROOT/build/nimbara-simdevice" make "$DEVICES/demo-iphone"
# Its backup goes where the backup browser looks for local backups.
BACKUPS="${NIMBARA_BACKUP_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/MobileSync/Backup}"
"$ROOT/build/nimbara-simdevice" backup "$DEVICES/demo-iphone" "$BACKUPS"

if [ "$START" -eq 0 ]; then
    echo "Demo device written to $DEVICES/demo-iphone; start: $ROOT/build/nimbara --simulated-devices $DEVICES"
    exit 0
fi
ARGS=(--simulated-devices "$DEVICES")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
    exec xvfb-run -a "$ROOT/build/nimbara" "${ARGS[@]}"
fi
exec "$ROOT/build/nimbara" "${ARGS[@]}"
