#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets from the test fixtures:
# fuzz/make_seeds.sh BUILD-FUZZ-FOLDER (default build-fuzz). Each target's
# seeds land in BUILD/seeds/TARGET; the corpus a run grows goes beside them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{rtf,html,xbase,journal,dictionary,backup,decoders}

cp "$root"/tests/richtext/io/fixtures/*.rtf "$seeds/rtf/"
cat >"$seeds/rtf/features.rtf" <<'RTF'
{\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red255\green0\blue0;}\trowd\cellx2000\cellx4000\intbl a\cell b\cell\row\pard{\pict\dibitmap0\picw1\pich1 280000000100000001000000010018000000000004000000000000000000000000000000000000ff00}x{\*\footnote note}\bin3 {}\'e9\u8364?\qnrtf1 {raw}\qnrtf0 \
next{\mmathPr\mmathFont34}\tx720\li360\fi-360\box\brdrs text}
RTF

cp "$root"/tests/richtext/io/html_fixtures/*.html "$root"/tests/richtext/io/fixtures/source.html \
  "$seeds/html/"
printf '%s' '<html><title>T</title><body><h1 align=center>H</h1><ul><li>a<ol><li>b</ol></ul><table border=1><tr><td colspan=2>c<td rowspan=2>d</table><font color=#ff0000 size=+2>e</font><img src="x.bmp"><!-- note --><pre>p  q</pre>&amp;&#233;<a href="u">l</a></body></html>' >"$seeds/html/features.html"

sep=$'\n--next-file--\n'
x=$root/tests/xbase/fixtures
table() { # DBF FPT CDX
  { cat "$1"; printf '%s' "$sep"; [[ -n $2 ]] && cat "$2"; printf '%s' "$sep"; [[ -n $3 ]] && cat "$3"; } || true
}
table "$x/calls.dbf" "$x/calls.FPT" "$x/calls.CDX" >"$seeds/xbase/calls"
table "$x/pr90.dbf" "$x/pr90.fpt" "" >"$seeds/xbase/pr90"
table "$x/rooms.dbf" "" "$x/rooms.cdx" >"$seeds/xbase/rooms"
table "$x/setup.dbf" "" "$x/setup.CDX" >"$seeds/xbase/setup"

b=$seeds/backup
printf '[Backup]\r\nMade=2026-12-07 10:00:00\r\nEntries=3\r\nFiles=QUILLNK.DBF|QUILLNK.FPT|QUILLNK.CDX\r\n' >"$b/good"
printf '[Backup]\r\nMade=2026-12-07 10:00:00\r\nFiles=quillnk.dbf|QUILLNK.FPT|QN.INI|QUILLNK.DBF-journal\r\n' >"$b/old"
printf '[Backup]\r\nMade=x\r\nFiles=QUILLNK.DBF|../../../../outside.txt|sub/QUILLNK.FPT|notes.txt\r\n' >"$b/crafted"

d=$seeds/decoders
cp "$seeds"/html/*.html "$d/"
printf '\xef\xbb\xbf\xc5\x81\xc3\xb3d\xc5\xba e\xcc\x81 \xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd \xf0\x9f\x87\xb5\xf0\x9f\x87\xb1\r\n' >"$d/utf8"
printf '\xff\xfeh\x00\x3d\xd8\x00\xde' >"$d/utf16"
printf '\x05\x82\xa0\x93\xfa\x96\x7b\x82' >"$d/shift-jis"
printf '<meta http-equiv="Content-Type" content="text/html; charset=windows-1250">\xa3\xf3d\x9f &notit; &#147;' >"$d/meta"

QN_FUZZ_SEEDS="$seeds/dictionary" "$build/fuzz/dictionary_fuzz"
QN_FUZZ_SEEDS="$seeds/journal" "$build/fuzz/journal_fuzz"
QN_FUZZ_SEEDS="$seeds/xbase" "$build/fuzz/xbase_fuzz"
ls -l "$seeds"/*
