#!/usr/bin/env bash
# Builds the sample book examples/Sample.volm from the texts in examples/texts
# with volm-cli: six topics in English and Russian, their texts loaded from
# files in KOI8-R, CP866, Windows-1251, UTF-8 and ASCII (the code page of
# each is detected on loading), and a custom font for the phone. The book is
# in the words layout ("new" stores it) with indented paragraphs (there is no
# "Paragraphs" stream). Each text's title line, and the subheading of the
# keys, starts with byte 0x01, the heading mark, which loading keeps: the
# phone shows them as headings. "Keys on the phone" names every key of the
# reader.
#
#   examples/make-sample.sh [VOLM_CLI [OUTPUT]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../build/src/cli/volm-cli}
out=${2:-$here/Sample.volm}
texts=$here/texts

rm -f "$out"
"$cli" new "$out"
"$cli" add "$out" "About this book" "Зимний вечер" "Дорога к морю" "Письмо другу" \
    "Заметки о чтении" "Keys on the phone" >/dev/null
n=0
for f in about-en.utf8.txt winter-evening.koi8r.txt road-to-the-sea.cp866.txt letter.cp1251.txt \
         reading-notes.utf8.txt phone-keys-en.ascii.txt; do
  n=$((n + 1))
  "$cli" import "$out" "$n" "$texts/$f"
done
# The book's own font: rendered into the jar's font image at every build.
"$cli" font "$out" --name "Courier New" --height 12 --charset RUSSIAN --custom on >/dev/null
"$cli" list "$out"
