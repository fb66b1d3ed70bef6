#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite through CTest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build"
cd "$here/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j"$(nproc)"
