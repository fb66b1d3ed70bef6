#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillmere.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is available (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "Start Quillmere from a desktop session, or in a virtual X server:" >&2
  echo "  xvfb-run -a $here/build/quillmere" >&2
  exit 1
fi
exec "$here/build/quillmere"
