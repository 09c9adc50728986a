#!/usr/bin/env bash
# The manual pages render without a warning and name every command and option
# that the programs' --help lists; --help and --version answer without a
# display and without making a diary folder.
# Arguments: SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
source_dir=$1 build_dir=$2 version=$3
if ! command -v groff >/dev/null; then
  echo "SKIP: groff is missing (package groff-base; scripts/setup.sh installs it)"
  exit 77
fi
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# No display, and a home of its own: --help and --version must not touch the
# user's diary folder.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QUILLNOOK_HOME
            -u XDG_DATA_HOME HOME="$scratch/home")
mkdir "$scratch/home"

for tool in quillnook qntable qnrtf qndict; do
  page=$build_dir/man/$tool.1
  [[ -f $page ]] || { fail "$page was not made"; continue; }
  warnings=$(LC_ALL=C.UTF-8 groff -wall -man -Tutf8 -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "groff warns about $tool.1: $warnings"
  if command -v mandoc >/dev/null; then
    lint=$(mandoc -T lint -W warning "$page" 2>&1)
    [[ -z $lint ]] || fail "mandoc warns about $tool.1: $lint"
  fi
  grep -q '@QN_' "$page" && fail "$tool.1 still holds a placeholder"
  grep -q "^\.TH .*\"Quillnook $version\"" "$page" || fail "$tool.1 does not name version $version"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" SECURITY EXAMPLES "SEE ALSO"; do
    grep -q "^\.SH \"*$section\"*\$" "$page" || fail "$tool.1 has no section $section"
  done

  program=$build_dir/bin/$tool
  help=$("${no_display[@]}" "$program" --help 2>"$scratch/err")
  status=$?
  [[ $status -eq 0 ]] || fail "$tool --help exits with $status: $(cat "$scratch/err")"
  [[ -n $help ]] || fail "$tool --help prints nothing on standard output"
  answer=$("${no_display[@]}" "$program" --version 2>"$scratch/err")
  status=$?
  [[ $status -eq 0 ]] || fail "$tool --version exits with $status: $(cat "$scratch/err")"
  [[ $answer == "$tool $version" ]] || fail "$tool --version says \"$answer\", not \"$tool $version\""

  # Every command the help lists ("tool WORD") is in the synopsis, and every
  # option in the page.
  commands=$(grep -oE "^ *(usage: *)?$tool [a-z]+" <<<"$help" | awk '{print $NF}' | sort -u)
  [[ -n $commands || $tool == qnrtf ]] || fail "no commands found in $tool --help"
  for command in $commands; do
    grep -qE "^\.B $tool $command\$" "$page" || fail "$tool.1 has no synopsis of $tool $command"
  done
  for option in $(grep -oE -- '--[a-z-]+' <<<"$help" | sort -u); do
    grep -qF -- "${option//-/\\-}" "$page" || fail "$tool.1 does not describe $option"
  done
done
# A mistyped command or option is refused with a pointer to --help, without
# a display and without a window.
for wrong in exprot --no-such-option; do
  "${no_display[@]}" "$build_dir/bin/quillnook" "$wrong" >/dev/null 2>"$scratch/err"
  status=$?
  [[ $status -eq 2 ]] || fail "quillnook $wrong exits with $status: $(cat "$scratch/err")"
  grep -qF -- "unknown command or option \"$wrong\"; quillnook --help" "$scratch/err" ||
    fail "quillnook $wrong says: $(cat "$scratch/err")"
done
[[ -e $scratch/home/.local ]] && fail "--help or --version made $(find "$scratch/home" | tr '\n' ' ')"

[[ $failures -eq 0 ]] || exit 1
echo "manual pages and --help/--version of all four programs: fine"
