#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quillnook
# need, and nothing when they are all present. The one list of packages.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev libssl-dev libargon2-dev
  libicu-dev  # Unicode rules and code page converters
  # tests
  libgtest-dev libgmock-dev
  fonts-liberation fonts-dejavu-core xvfb xauth poppler-utils
  # every script on screen and in print: CJK and colour emoji
  fonts-wqy-microhei fonts-noto-color-emoji
  strace  # kills a table tool at an exact write
  # make format-check
  clang-format
  # independent readers of the table files
  python3 python3-dbfread python3-dbf libdbd-xbase-perl
  # word list of the main dictionary
  wamerican scowl
  # benchmarks and the programs they compare against
  libbenchmark-dev libsqlite3-dev hunspell hunspell-en-us hunspell-de-de libhunspell-dev unrtf pandoc
  # a browser that reads the exported HTML
  chromium
  # make package, and the tests of the package, manual pages and metadata
  dpkg-dev file lintian groff-base appstream desktop-file-utils
  # the editor under a real X server: clipboard, keyboard layouts, a window
  # manager, keys and clicks from outside, window pictures
  xclip xdotool openbox x11-xkb-utils x11-apps netpbm
  # the accessibility bus and a reader's view of it (the screen reader test)
  at-spi2-core python3-pyatspi dbus-daemon
  # fuzz targets (make fuzz)
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
run_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}
export DEBIAN_FRONTEND=noninteractive
run_root apt-get update
run_root apt-get install -y --no-install-recommends "${missing[@]}"
