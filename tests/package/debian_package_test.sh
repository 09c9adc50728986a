#!/usr/bin/env bash
# Packs this build tree with cpack into a scratch folder, unpacks the .deb
# into a scratch root with dpkg -x, checks its control fields and files, runs
# the unpacked programs, and runs lintian, which must report no error.
# Arguments: SOURCE_DIR BUILD_DIR VERSION DEBIAN_REVISION APP_ID
set -uo pipefail
source_dir=$1 build_dir=$2 version=$3 revision=$4 app_id=$5
for tool in cpack dpkg-deb dpkg-shlibdeps file lintian; do
  if ! command -v $tool >/dev/null; then
    echo "SKIP: $tool is missing (packages dpkg-dev, file, lintian; scripts/setup.sh installs them)"
    exit 77
  fi
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if ! cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack could not make the package"
  exit 1
fi
debs=("$scratch"/out/quillnook_"$version-$revision"_*.deb)
deb=${debs[0]}
if [[ ! -f $deb ]]; then
  ls -l "$scratch/out"
  echo "FAIL: no quillnook_$version-${revision}_*.deb"
  exit 1
fi
echo "made $(basename "$deb")"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == quillnook ]] || fail "Package is $(field Package)"
[[ $(field Version) == "$version-$revision" ]] || fail "Version is $(field Version)"
[[ $(field Maintainer) =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer is \"$(field Maintainer)\""
depends=$(field Depends)
depended=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 \
               libssl3 libargon2-1 qt6-qpa-plugins; do
  grep -qxF "$library" <<<"$depended" || fail "Depends lacks $library: $depends"
done
description=$(field Description)
[[ $(wc -l <<<"$description") -gt 3 ]] || fail "no long description: $description"

# Files.
root=$scratch/root
dpkg -x "$deb" "$root"
expected=(
  usr/bin/quillnook usr/bin/qntable usr/bin/qnrtf usr/bin/qndict
  usr/share/quillnook/QUILLNK.HLP usr/share/quillnook/quillnk.dct usr/share/quillnook/quillnk.frq
  "usr/share/applications/$app_id.desktop" "usr/share/metainfo/$app_id.metainfo.xml"
  usr/share/icons/hicolor/48x48/apps/quillnook.png
  usr/share/icons/hicolor/128x128/apps/quillnook.png
  usr/share/icons/hicolor/256x256/apps/quillnook.png
  usr/share/icons/hicolor/scalable/apps/quillnook.svg
  usr/share/man/man1/quillnook.1.gz usr/share/man/man1/qntable.1.gz
  usr/share/man/man1/qnrtf.1.gz usr/share/man/man1/qndict.1.gz
  usr/share/doc/quillnook/copyright usr/share/doc/quillnook/changelog.Debian.gz)
for file in "${expected[@]}"; do
  [[ -f $root/$file && -s $root/$file ]] || fail "the package lacks $file"
done
# Everything lies under /usr, nothing where a diary lives, and the package
# holds nothing but the files above and their folders.
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[[ -z $outside ]] || fail "files outside /usr: $outside"
extra=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort |
        comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[[ -z $extra ]] || fail "unexpected files: $extra"
for program in quillnook qntable qnrtf qndict; do
  file "$root/usr/bin/$program" | grep -q 'ELF.*executable' || fail "$program is not an executable"
  file "$root/usr/bin/$program" | grep -q 'not stripped' && fail "$program is not stripped"
done

# The unpacked programs run and find the unpacked resources.
unpacked=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$scratch/home")
answer=$("${unpacked[@]}" "$root/usr/bin/quillnook" --version)
[[ $answer == "quillnook $version" ]] || fail "the unpacked quillnook --version says \"$answer\""
answer=$("${unpacked[@]}" "$root/usr/bin/qndict" check "$root/usr/share/quillnook/quillnk.dct" diary)
[[ $answer == "diary ok" ]] || fail "the unpacked main dictionary answers \"$answer\""
zcat "$root/usr/share/man/man1/quillnook.1.gz" | grep -q "^\.TH QUILLNOOK 1" ||
  fail "quillnook.1.gz is no manual page"

# lintian: no errors; the warnings and notes are shown.
lintian --display-info --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1
cat "$scratch/lintian.log"
grep -q '^E: ' "$scratch/lintian.log" && fail "lintian reports errors"

[[ $failures -eq 0 ]] || exit 1
echo "the package $(basename "$deb") holds what it should; lintian reports no error"
