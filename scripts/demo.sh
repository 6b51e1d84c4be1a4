#!/usr/bin/env bash
# Installs what is needed, builds Nimbara, writes the demo iPhone and starts the program on it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh" "$ROOT/build"

DATA="${XDG_DATA_HOME:-$HOME/.local/share}/nimbara-demo"
DEVICES="$DATA/devices"
mkdir -p "$DEVICES"
"$ROOT/build/nimbara-simdevice" make "$DEVICES/demo-iphone"
# Its backup goes where the backup browser looks for local backups.
BACKUPS="${NIMBARA_BACKUP_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/MobileSync/Backup}"
"$ROOT/build/nimbara-simdevice" backup "$DEVICES/demo-iphone" "$BACKUPS"

ARGS=(--simulated-devices "$DEVICES")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
    exec xvfb-run -a "$ROOT/build/nimbara" "${ARGS[@]}"
fi
exec "$ROOT/build/nimbara" "${ARGS[@]}"
