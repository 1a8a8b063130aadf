#!/usr/bin/env bash
# Checks the Debian package that `make package` wrote into BUILD_DIR: lintian,
# the desktop entry and AppStream validators, the control fields, the version
# everywhere Linux shows it, and where every file lands.
# Usage: package-check.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: package-check.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
app_id=io.github.palvimo.Palvimo

fail() { echo "package-check: $*" >&2; exit 1; }

debs=("$build"/palvimo_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one palvimo_*.deb in $build"
deb=${debs[0]}
echo "== $deb ($(stat -c %s "$deb") bytes)"

# The version record's display version, defined once in the top CMakeLists.txt.
version=$(sed -n 's/^set(PALVIMO_DISPLAY_VERSION "\(.*\)")$/\1/p' "$top/CMakeLists.txt")
[ -n "$version" ] || fail "no PALVIMO_DISPLAY_VERSION in CMakeLists.txt"
grep -q "^set(PALVIMO_APP_ID \"$app_id\")$" "$top/CMakeLists.txt" || fail "the application ID is not $app_id"

echo "== lintian"
# Run as root, lintian warns about that on its own; only its tags count.
lintian --fail-on error,warning --display-info "$deb"
echo "lintian: no errors or warnings"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

echo "== control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = palvimo ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Section)" = utils ] || fail "Section is $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
[ "$(basename "$deb")" = "palvimo_${version}_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$deb")"
depends=$(field Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
grep -q "never changes or deletes the user's own files" <<<"$(field Description)" || fail "the long description"
echo "Version $version, Section utils, Depends $depends"

echo "== files"
expected="./usr/bin/palvimo
./usr/share/applications/$app_id.desktop
./usr/share/doc/palvimo/changelog.gz
./usr/share/doc/palvimo/copyright
./usr/share/icons/hicolor/32x32/apps/$app_id.png
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/man/man1/palvimo.1.gz
./usr/share/metainfo/$app_id.metainfo.xml"
actual=$(cd "$root" && find . -type f -o -type l | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "files differ from the expected list:
$(diff <(echo "$expected") <(echo "$actual") || true)"
[ -z "$(cd "$root" && find . -mindepth 1 -type d ! -perm 755)" ] || fail "a folder is not mode 755"
[ -z "$(cd "$root" && find . -type f ! -perm 644 ! -path ./usr/bin/palvimo)" ] || fail "a data file is not mode 644"
[ "$(stat -c %a "$root/usr/bin/palvimo")" = 755 ] || fail "the program is not mode 755"
[[ $(file -b "$root/usr/bin/palvimo") == ELF*", stripped" ]] || fail "the program is not a stripped ELF file"
[[ $(file -b "$root/usr/share/icons/hicolor/32x32/apps/$app_id.png") == "PNG image data, 32 x 32,"* ]] ||
  fail "the PNG icon is not 32 x 32"
gzip -t "$root/usr/share/man/man1/palvimo.1.gz" "$root/usr/share/doc/palvimo/changelog.gz"
# The version the program sets as its applicationVersion, stored as UTF-16.
program_texts=$(strings -e l "$root/usr/bin/palvimo")
grep -qFx "$version" <<<"$program_texts" || fail "the program lacks its version $version"
grep -qFx "$app_id" <<<"$program_texts" || fail "the program lacks its desktop file name $app_id"
grep -q "^\.TH PALVIMO 1 .*\"Palvimo $version\"" <<<"$(zcat "$root/usr/share/man/man1/palvimo.1.gz")" ||
  fail "the manual page lacks the version"
echo "$(echo "$expected" | wc -l) files in place"

echo "== desktop-file-validate"
output=$(desktop-file-validate "$root/usr/share/applications/$app_id.desktop" 2>&1) || fail "$output"
[ -z "$output" ] || fail "desktop-file-validate: $output"
grep -qx "Icon=$app_id" "$root/usr/share/applications/$app_id.desktop" || fail "the desktop entry's icon"
echo "desktop-file-validate: no messages"

echo "== appstreamcli validate --no-net"
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --no-net "$metainfo"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" || fail "the AppStream release is not $version"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" || fail "the launchable"

echo "package-check: all checks passed"
