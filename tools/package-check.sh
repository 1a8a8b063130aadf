#!/usr/bin/env bash
# Checks the Debian packages that `make package` wrote into BUILD_DIR, the
# window's (palvimo) and the terminal's (palvimo-check): lintian, the desktop
# entry and AppStream validators, the control fields, the version everywhere
# Linux shows it, and where every file lands.
# Usage: package-check.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: package-check.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
app_id=io.github.palvimo.Palvimo

fail() { echo "package-check: $*" >&2; exit 1; }

# The version record's display version, defined once in the top CMakeLists.txt.
version=$(sed -n 's/^set(PALVIMO_DISPLAY_VERSION "\(.*\)")$/\1/p' "$top/CMakeLists.txt")
[ -n "$version" ] || fail "no PALVIMO_DISPLAY_VERSION in CMakeLists.txt"
grep -q "^set(PALVIMO_APP_ID \"$app_id\")$" "$top/CMakeLists.txt" || fail "the application ID is not $app_id"
arch=$(dpkg --print-architecture)

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# check_package NAME DEPENDS_ALL DEPENDS_NONE FILES: the checks both packages
# share. Leaves the package unpacked in $root/NAME.
check_package() {
  local package=$1 wanted=$2 unwanted=$3 expected=$4 deb
  deb=$build/${package}_${version}_$arch.deb
  [ -f "$deb" ] || fail "no $(basename "$deb") in $build"
  echo "== $deb ($(stat -c %s "$deb") bytes)"

  echo "== lintian $package"
  # Run as root, lintian warns about that on its own; only its tags count.
  lintian --fail-on error,warning --display-info "$deb"
  echo "lintian: no errors or warnings"

  local unpacked=$root/$package
  mkdir "$unpacked"
  dpkg-deb -x "$deb" "$unpacked"

  echo "== control fields"
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = "$package" ] || fail "Package is $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
  [ "$(field Section)" = utils ] || fail "Section is $(field Section)"
  [ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
  local depends
  depends=$(field Depends)
  for library in $wanted; do
    grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "$package: Depends lacks $library: $depends"
  done
  for library in $unwanted; do
    ! grep -Eq "(^|, )$library" <<<"$depends" || fail "$package: Depends has $library: $depends"
  done
  grep -q "never changes or deletes the user's own files" <<<"$(field Description)" || fail "the long description"
  echo "Version $version, Section utils, Depends $depends"

  echo "== files"
  local actual
  actual=$(cd "$unpacked" && find . -type f -o -type l | LC_ALL=C sort)
  [ "$actual" = "$expected" ] || fail "files differ from the expected list:
$(diff <(echo "$expected") <(echo "$actual") || true)"
  local program=$unpacked/usr/bin/$package
  [ -z "$(cd "$unpacked" && find . -mindepth 1 -type d ! -perm 755)" ] || fail "a folder is not mode 755"
  [ -z "$(cd "$unpacked" && find . -type f ! -perm 644 ! -path "./usr/bin/$package")" ] || fail "a data file is not mode 644"
  [ "$(stat -c %a "$program")" = 755 ] || fail "the program is not mode 755"
  [[ $(file -b "$program") == ELF*", stripped" ]] || fail "the program is not a stripped ELF file"
  gzip -t "$unpacked/usr/share/man/man1/$package.1.gz" "$unpacked/usr/share/doc/$package/changelog.gz"
  local page_title=${package^^}
  grep -q "^\.TH $page_title 1 .*\"Palvimo $version\"" <<<"$(zcat "$unpacked/usr/share/man/man1/$package.1.gz")" ||
    fail "the manual page lacks the version"
  echo "$(echo "$expected" | wc -l) files in place"
}

check_package palvimo "libc6 libqt6core6 libqt6gui6 libqt6widgets6" "" "./usr/bin/palvimo
./usr/share/applications/$app_id.desktop
./usr/share/doc/palvimo/changelog.gz
./usr/share/doc/palvimo/copyright
./usr/share/icons/hicolor/32x32/apps/$app_id.png
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/man/man1/palvimo.1.gz
./usr/share/metainfo/$app_id.metainfo.xml"
root_window=$root/palvimo
[[ $(file -b "$root_window/usr/share/icons/hicolor/32x32/apps/$app_id.png") == "PNG image data, 32 x 32,"* ]] ||
  fail "the PNG icon is not 32 x 32"
# The version the program sets as its applicationVersion, stored as UTF-16.
program_texts=$(strings -e l "$root_window/usr/bin/palvimo")
grep -qFx "$version" <<<"$program_texts" || fail "the program lacks its version $version"
grep -qFx "$app_id" <<<"$program_texts" || fail "the program lacks its desktop file name $app_id"

echo "== desktop-file-validate"
output=$(desktop-file-validate "$root_window/usr/share/applications/$app_id.desktop" 2>&1) || fail "$output"
[ -z "$output" ] || fail "desktop-file-validate: $output"
grep -qx "Icon=$app_id" "$root_window/usr/share/applications/$app_id.desktop" || fail "the desktop entry's icon"
echo "desktop-file-validate: no messages"

echo "== appstreamcli validate --no-net"
metainfo=$root_window/usr/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --no-net "$metainfo"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" || fail "the AppStream release is not $version"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" || fail "the launchable"

grep -qx "StartupWMClass=Palvimo" "$root_window/usr/share/applications/$app_id.desktop" ||
  fail "the desktop entry's StartupWMClass"

# The check from a terminal runs where there is no display: no Qt, no X.
check_package palvimo-check "libc6" "libqt libx11 libxcb libxkb libgl libegl libwayland" "./lib/systemd/system/palvimo-check@.service
./lib/systemd/system/palvimo-check@.timer
./usr/bin/palvimo-check
./usr/share/doc/palvimo-check/changelog.gz
./usr/share/doc/palvimo-check/copyright
./usr/share/man/man1/palvimo-check.1.gz"
program=$root/palvimo-check/usr/bin/palvimo-check
for package in palvimo palvimo-check; do
  [ "$(dpkg-deb -f "$build/${package}_${version}_$arch.deb" Recommends)" = smartmontools ] ||
    fail "$package does not recommend smartmontools"
done
! readelf -d "$program" | grep -Ei "NEEDED.*(libQt|libX11|libxcb|libGL|libEGL|libwayland)" || fail "palvimo-check links Qt or X"
[ "$(env -i "$program" --version | head -1)" = "palvimo-check (Palvimo) $version" ] || fail "palvimo-check --version"
for section in "EXIT STATUS" EXAMPLES; do
  zcat "$root/palvimo-check/usr/share/man/man1/palvimo-check.1.gz" | grep -qx "\.SH $section" ||
    fail "the manual page lacks $section"
done

echo "package-check: all checks passed"
