#!/usr/bin/env bash
# The desktop entry and the AppStream metadata pass their validators, name
# each other, and carry this release.
# Arguments: SOURCE_DIR BUILD_DIR VERSION APP_ID
set -uo pipefail
source_dir=$1 build_dir=$2 version=$3 app_id=$4
for tool in appstreamcli desktop-file-validate; do
  if ! command -v $tool >/dev/null; then
    echo "SKIP: $tool is missing (packages appstream, desktop-file-utils; scripts/setup.sh installs them)"
    exit 77
  fi
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

desktop=$source_dir/resources/desktop/$app_id.desktop
metainfo=$build_dir/metainfo/$app_id.metainfo.xml
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[[ -z $out ]] || fail "desktop-file-validate says: $out"
out=$(appstreamcli validate --no-net --explain "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
echo "$out"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $app_id.desktop"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
  fail "the metainfo has no release $version"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "the metainfo has no content rating"
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no screenshot"
grep -q '@QN_' "$metainfo" && fail "the metainfo still holds a placeholder"

[[ $failures -eq 0 ]] || exit 1
echo "desktop entry and AppStream metadata: valid"
