#!/usr/bin/env bash
# Builds VELMORA and starts it from its program folder in the build tree (build/programma).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

program=build/programma/velmora
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Non c'è uno schermo (DISPLAY non è impostato): VELMORA è un programma a finestre."
    echo "Avviarlo da una sessione grafica, oppure senza schermo con: xvfb-run -a $program"
    exit 1
fi
exec "$program" "$@"
