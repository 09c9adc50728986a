#!/usr/bin/env bash
# Runs one fuzz target in a single process, niced:
#   fuzz/run.sh TARGET SECONDS [BUILD-FUZZ-FOLDER]
# TARGET is rtf, html, xbase, journal, dictionary, backup or decoders. The corpus grows in
# BUILD/corpus/TARGET (seeded from BUILD/seeds/TARGET, see make_seeds.sh);
# crashing inputs land in BUILD/artifacts/TARGET.
set -euo pipefail
target=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=${3:-$root/build-fuzz}
corpus=$build/corpus/$target
artifacts=$build/artifacts/$target
mkdir -p "$corpus" "$artifacts"
exec nice -n 10 "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=20 \
  -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus" "$build/seeds/$target"
