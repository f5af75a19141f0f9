#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the source archive and checks that it holds, under one folder named
# after the release, exactly the files the repository tracks: nothing of a
# build, of version control or of a run.
#   source_archive_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3
command -v cpack >/dev/null || { echo "skipped: cpack is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackSourceConfig.cmake" -B "$work" >/dev/null
archive=$work/pelmora-$version.tar.xz
[ -f "$archive" ] || { echo "no $archive: $(ls "$work")"; exit 1; }
tar -tJf "$archive" | grep -v '/$' | sort > "$work/archived"

strays=$(grep -v "^pelmora-$version/" "$work/archived" || true)
[ -z "$strays" ] || { echo "outside pelmora-$version/: $strays"; exit 1; }
sed -i "s|^pelmora-$version/||" "$work/archived"
unwanted=$(grep -E '^(\.git|build[^/]*|DATA)/' "$work/archived" || true)
[ -z "$unwanted" ] || { echo "the archive holds: $unwanted"; exit 1; }
for file in LICENSE COPYRIGHT CHANGELOG README.md scripts/test CMakeLists.txt; do
  grep -qxF "$file" "$work/archived" || { echo "the archive lacks $file"; exit 1; }
done

# In a checkout, the archive holds the tracked files and no other (an
# unpacked archive has no repository to compare with).
if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$source" -c core.quotePath=false ls-files | sort > "$work/tracked"
  missing=$(comm -23 "$work/tracked" "$work/archived")
  [ -z "$missing" ] || { echo "the archive lacks tracked files: $missing"; exit 1; }
  extra=$(comm -13 "$work/tracked" "$work/archived")
  [ -z "$extra" ] || { echo "the archive holds files the repository does not track: $extra"; exit 1; }
fi
echo "pelmora-$version.tar.xz holds the sources"
