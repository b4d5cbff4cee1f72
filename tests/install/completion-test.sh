#!/usr/bin/env bash
# The bash completion of volm-cli, as the shell runs it: commands, a group's
# sub-commands, a command's options, an option's choices (also after "="),
# and file names where a project or a file is expected (projects: *.volm and
# folders only), with option values skipped when positionals are counted.
#   completion-test.sh COMPLETION_FILE
set -uo pipefail
completion=$1
if [ -r /usr/share/bash-completion/bash_completion ]; then
  # shellcheck disable=SC1091
  . /usr/share/bash-completion/bash_completion
fi
# shellcheck disable=SC1090
. "$completion" || { echo "FAIL: $completion does not load"; exit 1; }

failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" && touch Tales.volm notes.txt

# expect "WORD WORD ... CURRENT" "WANTED REPLIES": completes the last word.
# Words are split as readline splits them (at blanks, and "=" stands alone).
expect()
{
  local line=$1 want=$2
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -r -a COMP_WORDS <<<"${line//=/ = }"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  [[ $line == *"=" ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _volm_cli volm-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  # Compared in byte order, whatever the user's locale sorts by.
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | tr '\n' ' ')
  got=${got% }
  if [[ $got != "$want" ]]; then
    echo "FAIL: \"$line\" completes to \"$got\", expected \"$want\""
    failures=$((failures + 1))
  fi
}

expect "volm-cli fo" "font"
expect "volm-cli a" "add add-list"
expect "volm-cli --v" "--version"
expect "volm-cli st" "storage"
expect "volm-cli storage " "--help cat ls"
expect "volm-cli help bu" "build"
expect "volm-cli build Tales.volm --v" "--vendor"
expect "volm-cli build Tales.volm --layout " "grid words"
expect "volm-cli font Tales.volm --c" "--charset --color --custom"
expect "volm-cli font Tales.volm --custom " "off on"
expect "volm-cli font Tales.volm --pitch=" ""
expect "volm-cli font Tales.volm --custom=o" "off on"
expect "volm-cli font Tales.volm --name " ""
expect "volm-cli text Tales.volm 1 --u" "--utf8"
expect "volm-cli frobnicate --" ""
if declare -F _filedir >/dev/null; then
  # A project: *.volm files and folders; a file to load: any file.
  expect "volm-cli list " "Tales.volm"
  expect "volm-cli font --name Courier --height -12 " "Tales.volm"
  expect "volm-cli import Tales.volm 1 " "Tales.volm notes.txt"
  expect "volm-cli import --no-detect Tales.volm 1 " "Tales.volm notes.txt"
  expect "volm-cli storage ls " "Tales.volm notes.txt"
else
  echo "bash-completion is not installed: file-name completion is not checked"
fi
# After a project, a topic number or a name: nothing to offer.
expect "volm-cli import Tales.volm " ""
expect "volm-cli add Tales.volm One " ""
expect "volm-cli new Tales.volm " ""

if ((failures)); then
  echo "$failures failures"
  exit 1
fi
echo "the completion offers what volm-cli declares"
