#!/usr/bin/env bash
# Saves pictures of the desktop program into docs/: the main window with the
# sample book open and a topic selected, the topic list's context menu, the
# question about typed text that was not committed (and the window marked
# while it waits), the build parameters dialog, the project's font dialog and
# the about box. Runs the program's windows (the tool volm-screenshots, built
# beside the tests) under Xvfb when it is installed (the offscreen platform
# otherwise), with scratch configuration and data folders so that your own
# settings stay untouched.
#
#   scripts/screenshots.sh [PROJECT.volm]
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target volm-screenshots
tool=build/tests/app/volm-screenshots

project="${1:-}"
if [ -z "$project" ]; then
  project=$(ls examples/*.volm 2>/dev/null | head -n 1 || true)
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch"
args=("$PWD/docs")
if [ -n "$project" ]; then
  # A copy: the program opens projects for writing.
  cp "$project" "$scratch/$(basename "$project")"
  args+=("$scratch/$(basename "$project")")
fi
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1024x768x24" "$tool" "${args[@]}"
else
  QT_QPA_PLATFORM=offscreen "$tool" "${args[@]}"
fi
ls -l docs/*.png
