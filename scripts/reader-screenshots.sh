#!/usr/bin/env bash
# Saves the phone pictures of the README into docs/: a topic of the sample
# book in the words layout (the status row, a heading, paragraphs) and in the
# grid layout as `volm-cli preview` draws them at 176 x 208, and the menu and
# the options list of the sample book on a second phone (MicroEmulator,
# driven headless by ../shared/phone-vm/drive.py, when ../shared is there).
#
#   scripts/reader-screenshots.sh [VOLM_CLI]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/src/cli/volm-cli}
drive=../shared/phone-vm/drive.py
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
project() { # LAYOUT
  cp examples/Sample.volm "$scratch/Sample.volm"
  "$cli" build "$scratch/Sample.volm" --layout "$1" >/dev/null
}
project words
"$cli" preview "$scratch/Sample.volm" 2 --size 176x208 -o docs/reader-words.png >/dev/null
project grid
"$cli" preview "$scratch/Sample.volm" 2 --size 176x208 -o docs/reader-grid.png >/dev/null
if [ -f "$drive" ]; then
  project words
  python3 "$drive" --jar "$scratch/Sample/Sample.jar" --data "$scratch/data" --work "$scratch/vm" \
      --size 176x208 "wait 2500; shot $PWD/docs/reader-menu.png; key down; key fire; wait 800; key 0; wait 600; shot $PWD/docs/reader-options.png; kill" >/dev/null
else
  echo "reader-screenshots: $drive is absent (it comes with ../shared): the menu and the options list stay" >&2
fi
ls -l docs/reader-*.png
