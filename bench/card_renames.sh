#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The renames of a 2,000-file run on an exFAT card image mounted through FUSE
# and on the local disk, each against plain rename() calls of the same files
# on the same volume. Needs root and /dev/fuse for the card.
#   bench/card_renames.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."
bench=build/bench/card_renames
count=${1:-2000}
work=$(mktemp -d)
loop=
cleanup() {
  mountpoint -q "$work/card" && umount "$work/card"
  [ -n "$loop" ] && losetup -d "$loop"
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/local"
"$bench" "$work/local" "$count"

truncate -s 256M "$work/card.img"
mkfs.exfat -L CARD "$work/card.img" >/dev/null
loop=$(losetup -f --show "$work/card.img")
mkdir -p "$work/card"
mount.exfat-fuse "$loop" "$work/card" >/dev/null 2>&1
mkdir -p "$work/card/DCIM"
"$bench" "$work/card/DCIM" "$count"
