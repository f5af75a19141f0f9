#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package, checks what it declares and holds (and what
# Debian's package checker says of it), unpacks it into a temporary root and
# runs the installed programs there as a user whose data folder is still empty.
#   package_test.sh BUILD_DIR TESTDATA_DIR VERSION
set -euo pipefail
build=$1
media=$2/media
version=$3
for tool in cpack dpkg-deb desktop-file-validate appstreamcli groff lintian; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/setup installs it)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(echo "$work"/package/pelmora_*.deb)
[ "$(dpkg-deb -f "$deb" Package Version)" = $'Package: pelmora\nVersion: '"$version" ] ||
  { echo "the package is not pelmora $version: $(dpkg-deb -f "$deb" Package Version)"; exit 1; }
# Errors and warnings only: the notes lintian adds are hints, not faults.
complaints=$(lintian --pedantic "$deb" 2>/dev/null | grep -E '^[EW]: ' || true)
[ -z "$complaints" ] || { echo "lintian: $complaints"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libexiv2 libmediainfo libsqlite3 libxlsxwriter libzip qt6-qpa-plugins fonts-noto-cjk; do
  [[ $depends == *"$package"* ]] || { echo "Depends lacks $package: $depends"; exit 1; }
done

dpkg -x "$deb" "$work/root"
usr=$work/root/usr
for file in bin/pelmora bin/pelmora-cli libexec/pelmora/pelmora-reader share/pelmora/FileID.xlsx \
            share/applications/org.pelmora.Pelmora.desktop share/metainfo/org.pelmora.Pelmora.metainfo.xml \
            share/icons/hicolor/scalable/apps/org.pelmora.Pelmora.svg share/icons/hicolor/48x48/apps/org.pelmora.Pelmora.png \
            share/man/man1/pelmora.1.gz share/man/man1/pelmora-cli.1.gz \
            share/doc/pelmora/copyright share/doc/pelmora/changelog.gz; do
  [ -e "$usr/$file" ] || { echo "the package lacks /usr/$file"; exit 1; }
done

desktop-file-validate "$usr/share/applications/org.pelmora.Pelmora.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml"
latest_release=$(grep -o -m1 '<release version="[^"]*"' "$usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml")
[ "$latest_release" = "<release version=\"$version\"" ] || { echo "the software centre's latest release is $latest_release"; exit 1; }
for page in "$usr"/share/man/man1/*.gz; do
  zcat "$page" | grep -q "^\.TH .*\"Pelmora $version\"" || { echo "$page does not name Pelmora $version"; exit 1; }
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done

# The installed programs, as a user with an empty home: the data goes to the
# per-user folder, which is given the workbook template.
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
mkdir -p "$HOME" "$work/photos"
[ "$("$usr/bin/pelmora-cli" --version)" = "Pelmora $version" ] ||
  { echo "pelmora-cli --version says: $("$usr/bin/pelmora-cli" --version)"; exit 1; }
"$usr/bin/pelmora-cli" --data "$work/elsewhere" log >/dev/null
[ ! -e "$XDG_DATA_HOME/Pelmora" ] || { echo "--data still made the per-user folder"; exit 1; }
cp "$media/ianare-exif-samples/Canon_40D.jpg" "$work/photos/a.jpg"
cp "$media/generated/gen_clip_9s.mov" "$work/photos/b.mov"
"$usr/bin/pelmora-cli" shot-date --ext jpg,mov "$work/photos"
for name in 080530-001.jpg 210705-001.mov; do
  [ -e "$work/photos/$name" ] || { echo "no $name: $(ls "$work/photos")"; exit 1; }
done
data=$XDG_DATA_HOME/Pelmora/DATA
for file in FileNameDB.db FileID.xlsx; do
  [ -f "$data/$file" ] || { echo "no $file in $data"; exit 1; }
done
[ "$("$usr/bin/pelmora-cli" log | wc -l)" -eq 3 ] || { echo "the log does not hold the two renames"; exit 1; }

# The window starts and keeps running until it is stopped.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 "$usr/bin/pelmora" || status=$?
[ "$status" -eq 124 ] || { echo "the installed window ended with $status"; exit 1; }
echo "installed package works"
