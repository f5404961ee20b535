#!/usr/bin/env bash
# Pictures of the four pages of the settings window, taken on an Xvfb display:
#   tests/gui/settings/screenshots.sh [build-dir] [folder]
# The build directory defaults to build-debug, the folder to <build-dir>/screenshots.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
build="${1:-$root/build-debug}"
out="${2:-$build/screenshots}"
cmake --build "$build" --target settings_screenshots
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 "$build/bin/settings_screenshots" "$out"
