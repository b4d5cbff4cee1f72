#!/usr/bin/env bash
# Saves the phone pictures of the README into docs/: the sample book on a
# second phone (MicroEmulator, driven headless by ../shared/phone-vm/drive.py)
# at 176 x 208 -- its menu, a text in the words layout (the status row, a
# heading, paragraphs), the options list, and the same text in the grid layout.
#
#   scripts/reader-screenshots.sh [VOLM_CLI]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/src/cli/volm-cli}
drive=../shared/phone-vm/drive.py
[ -f "$drive" ] || { echo "reader-screenshots: $drive is absent (it comes with ../shared)" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
shots() { # LAYOUT SCRIPT
  cp examples/Sample.volm "$scratch/Sample.volm"
  "$cli" build "$scratch/Sample.volm" --layout "$1" >/dev/null
  rm -rf "$scratch/data"
  python3 "$drive" --jar "$scratch/Sample/Sample.jar" --data "$scratch/data" --work "$scratch/vm" \
      --size 176x208 "$2" >/dev/null
}
shots words "wait 2500; shot $PWD/docs/reader-menu.png; key down; key fire; wait 800; shot $PWD/docs/reader-words.png; key 0; wait 600; shot $PWD/docs/reader-options.png; kill"
shots grid "wait 2500; key down; key fire; wait 800; shot $PWD/docs/reader-grid.png; kill"
ls -l docs/reader-*.png
