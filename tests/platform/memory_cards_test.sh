#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renames on real memory cards: a FAT32 and an exFAT image, mounted through
# FUSE (fusefat; exfat-fuse on a loop device), as a camera card is.
#   memory_cards_test.sh PELMORA_CLI TESTDATA_DIR
# Each card: a rename and its undo, a rename that changes letter case only,
# a free number found as the card compares names. Runs killed mid-way with
# files under temporary names: on FAT the card unmounted and mounted again
# (the driver rewrites times); on exFAT another card and a byte copy of the
# card recovered in its slot, then the card itself mounted at another path
# (inode numbers made up anew), the next run refused and `recover` giving
# every name back. And a read-only card refused. Skipped (77) where nothing can be
# mounted here.
set -uo pipefail
cli=$1
photo=$2/media/ianare-exif-samples/Olympus_C8080WZ.jpg

skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "mounting needs root"
[ -c /dev/fuse ] || skip "no /dev/fuse"
for tool in mkfs.vfat mkfs.exfat fusefat mount.exfat-fuse losetup; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup installs it)"
done

work=$(mktemp -d)
mounts=()
loops=()
cleanup() {
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() { # check NAME COMMAND...: one case, said as it passes or fails
  local name=$1; shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
pelmora() { "$cli" --data "$work/data" "$@"; }
# Name and contents of every file, in name order.
state() { (cd "$1" && for f in *; do printf '%s %s\n' "$f" "$(md5sum < "$f" | cut -c1-32)"; done); }
# Photos are written on the local disk, then copied to the card at once
# with their times: a card through FUSE is slow to write file by file.
staged() { # staged FOLDER: moves what $work/stage holds into FOLDER
  mkdir -p "$1" && cp -a "$work/stage/." "$1/" && rm -rf "$work/stage"
}
fill() { # fill FOLDER COUNT: photos with contents of their own
  mkdir -p "$work/stage"
  for i in $(seq 1 "$2"); do
    { cat "$photo"; echo "$i"; } > "$work/stage/IMG_$(printf %04d "$i").JPG"
  done
  staged "$1"
}
mount_exfat() { # mount_exfat IMAGE DIR [ro]
  local loop
  loop=$(losetup -f --show ${3:+-r} "$1") || return 1
  loops+=("$loop")
  mkdir -p "$2"
  mount.exfat-fuse ${3:+-o ro} "$loop" "$2" >/dev/null 2>&1 || return 1
  mounts+=("$2")
}
unmount() { # the card out, once nothing holds it any more and its driver has written all
  for _ in $(seq 300); do umount "$1" 2>/dev/null && break; sleep 0.1; done
  for _ in $(seq 300); do pgrep -f "(fusefat|mount.exfat-fuse).* $1\$" >/dev/null || break; sleep 0.1; done
}
unmount_exfat() { unmount "$1"; losetup -d "${loops[-1]}" && unset 'loops[-1]'; }
mount_fat() { mkdir -p "$2"; fusefat -o rw+ "$1" "$2" >/dev/null 2>&1 || return 1; mounts+=("$2"); }

truncate -s 64M "$work/fat.img" && mkfs.vfat -F 32 -n CARD "$work/fat.img" >/dev/null
truncate -s 64M "$work/exfat.img" && mkfs.exfat -L CARD "$work/exfat.img" >/dev/null
mount_fat "$work/fat.img" "$work/fat" || skip "fusefat cannot mount here"
mount_exfat "$work/exfat.img" "$work/exfat" || skip "exfat-fuse cannot mount here"

for card in fat exfat; do
  dcim=$work/$card/DCIM
  fill "$dcim" 60
  before=$(state "$dcim")
  check "$card: rename" pelmora shot-date "$dcim" --ext jpg
  check "$card: renamed by date" test -e "$dcim/061022-060.JPG"
  check "$card: undo" pelmora undo
  check "$card: every name back" test "$(state "$dcim")" = "$before"

  check "$card: letter case only" pelmora replace "$dcim" --ext jpg --pre JPG --post jpg
  check "$card: lower case names" test "$(ls "$dcim" | head -1)" = IMG_0001.jpg
  check "$card: undo of the case" pelmora undo
  check "$card: upper case again" test "$(state "$dcim")" = "$before"
  # A card takes no ':' in a name: refused before anything is read.
  refused=$(pelmora append "$dcim" --ext jpg --post "12:30" 2>&1 >/dev/null; echo "exit $?")
  check "$card: a text the card cannot hold is refused" \
    test "${refused##*exit }" = 1 -a -n "$(grep -F '「:」' <<<"$refused")" -a "$(state "$dcim")" = "$before"
  refused=$(pelmora shot-date "$dcim" --ext jpg --pre "$(printf 'a\tb')" 2>&1 >/dev/null; echo "exit $?")
  check "$card: a tab is refused too, shown by its code" \
    test "${refused##*exit }" = 1 -a -n "$(grep -F '「U+0009」' <<<"$refused")"

  # A folder "img_0060(x).jpg" takes the name "IMG_0060(x).JPG" on a card:
  # the plan says so before anything happens.
  mkdir "$dcim/img_0060(x).jpg"
  check "$card: plan sees a name taken in another case" \
    bash -c "'$cli' --data '$work/data' append '$dcim' --ext jpg --post x --dry-run | grep -qP 'IMG_0060.JPG → IMG_0060\(x\).JPG\t同じ名前'"
  rmdir "$dcim/img_0060(x).jpg"

  # The card takes "081104a-001.JPG" for "081104A-001.JPG": the first free number is 002.
  # First in the listing, and its "ß" has no one-letter upper case (fusefat
  # takes no such name).
  cp "$photo" "$dcim/0-Straße.txt" 2>/dev/null || true
  cp "$photo" "$dcim/081104a-001.JPG"
  touch -d "2008-11-04 12:00" "$dcim/081104a-001.JPG"
  rm "$dcim"/IMG_00[1-5]*.JPG
  touch -d "2008-11-04 13:00" "$dcim"/IMG_*.JPG
  entries=$(ls "$dcim" | wc -l)
  check "$card: keep-existing" pelmora keep-existing "$dcim" --ext JPG --pre A
  check "$card: number taken in another case skipped" test -e "$dcim/081104A-002.JPG" -a -e "$dcim/081104a-001.JPG"
  check "$card: nothing left behind" test "$(ls "$dcim" | wc -l)" = "$entries"
  rm -rf "$dcim"
done

# Photos of one day (new-number numbers them 210301-001 on, every 30 s)
# under each other's new names, in one cycle: every file steps aside under
# a temporary name first.
fill_cycle() { # fill_cycle FOLDER COUNT
  mkdir -p "$work/stage"
  local start f
  start=$(date -d '2021-03-01 08:00:00' +%s)
  for i in $(seq 0 $(($2 - 1))); do
    f="$work/stage/210301-$(printf %03d $(( (i + 1) % $2 + 1 ))).JPG"
    { cat "$photo"; echo "$i"; } > "$f"
    touch -d "@$(( start + i * 30 ))" "$f"
  done
  staged "$1"
}
# Starts new-number and kills it once the folder shows temporary names
# (with "final": once every file was aside and a few have their new names).
kill_mid_run() { # kill_mid_run FOLDER [final]
  "$cli" --data "$work/data" new-number "$1" --ext jpg >/dev/null 2>&1 &
  local runner=$!
  until ls "$1" | grep -q '^TempFileName' || ! kill -0 $runner 2>/dev/null; do sleep 0.02; done
  if [ -n "${2:-}" ]; then
    until ! ls "$1" | grep -q '^210301' || ! kill -0 $runner 2>/dev/null; do sleep 0.02; done
    until [ "$(ls "$1" | grep -c '^210301')" -gt 5 ] || ! kill -0 $runner 2>/dev/null; do sleep 0.02; done
  fi
  kill -9 $runner 2>/dev/null
  wait $runner 2>/dev/null
}

# FAT through fusefat, unmounted and mounted again mid-run: the driver
# writes the rename time as the file's time, so only content tells a file.
dcim=$work/fat/DCIM
fill_cycle "$dcim" 200
before=$(state "$dcim")
kill_mid_run "$dcim" final
check "fat: killed with files under temporary and new names" \
  bash -c "ls '$dcim' | grep -q '^TempFileName' && ls '$dcim' | grep -q '^210301'"
unmount "$work/fat"
mount_fat "$work/fat.img" "$work/fat"
check "fat: recover after the card was out" pelmora recover
check "fat: every name and byte back" test "$(state "$dcim")" = "$before"
rm -rf "$dcim"

# A run killed mid-way on the exFAT card; a byte copy of the card (same
# volume UUID) recovered in its slot; the card itself back at another path.
dcim=$work/exfat/DCIM
fill_cycle "$dcim" 600
before=$(state "$dcim")
# A card of the same label with the same files, but another volume.
truncate -s 64M "$work/copy.img" && mkfs.exfat -L CARD "$work/copy.img" >/dev/null
mount_exfat "$work/copy.img" "$work/copy"
cp -a "$dcim" "$work/copy/"
unmount_exfat "$work/copy"
kill_mid_run "$dcim"
check "exfat: killed with files under temporary names" bash -c "ls '$dcim' | grep -q '^TempFileName'"
unmount_exfat "$work/exfat"
cp "$work/exfat.img" "$work/bytecopy.img"
mount_exfat "$work/copy.img" "$work/exfat" # another card in the same slot
pelmora recover >/dev/null
check "exfat: another card is not taken for it (exit 3)" test $? -eq 3
unmount_exfat "$work/exfat"
mount_exfat "$work/bytecopy.img" "$work/exfat" # a byte copy of the card in its slot
check "exfat: the byte copy recovered" pelmora recover
check "exfat: the copy's names back" test "$(state "$work/exfat/DCIM")" = "$before"
unmount_exfat "$work/exfat"
mount_exfat "$work/exfat.img" "$work/moved"
moved=$work/moved/DCIM
ls -r "$moved" | while read -r f; do stat "$moved/$f" >/dev/null; done # inode numbers in another order
pelmora new-number "$moved" --ext jpg >/dev/null 2>"$work/refusal"
check "exfat: the card itself: next run refused (exit 1)" test $? -eq 1
check "exfat: refusal says why" grep -q 一時的な名前 "$work/refusal"
check "exfat: recover at the new path" pelmora recover
check "exfat: every name and byte back" test "$(state "$moved")" = "$before"
check "exfat: then runs again" pelmora new-number "$moved" --ext jpg

unmount_exfat "$work/moved"
pelmora undo >/dev/null 2>"$work/refusal"
check "exfat: undo with the card out refused (exit 1)" test $? -eq 1
check "exfat: refusal asks for the card" grep -q つないで "$work/refusal"
mount_exfat "$work/exfat.img" "$work/moved"
check "exfat: undo once the card is back" pelmora undo
check "exfat: undone" test "$(state "$moved")" = "$before"
unmount_exfat "$work/moved"
mount_exfat "$work/exfat.img" "$work/readonly" ro
pelmora new-number "$work/readonly/DCIM" --ext jpg >/dev/null 2>"$work/refusal"
check "exfat: read-only card refused (exit 1)" test $? -eq 1
check "exfat: refusal names the cause" grep -q 読み取り専用 "$work/refusal"

echo "$failures failed"
[ "$failures" -eq 0 ]
