#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The rename by date taken as a user runs it, program start-up included, on
# the scenario folder of 2,000 photos and on 10,000 copies of its JPEGs:
# the plan (--dry-run), the whole run, and exiftool renaming the same files,
# each the median of RUNS runs, with the ratios of the same call. Then 2,000
# and 10,000 JPEGs each taken in a second of its own, renamed by Pelmora
# and by jhead (which reads the Exif segment and renames each file once,
# keeping no record), where jhead is installed.
#   bench/command_line.sh [RUNS]        (default: 5)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$PWD/build/pelmora-cli
runs=${1:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash tests/data/make_scenarios.sh "$work/scenarios" >/dev/null 2>&1
mkdir "$work/photos" "$work/many"
cp -p "$work/scenarios/e_speed_2000/"*.jpg "$work/photos/"
for copy in 1 2 3 4 5; do
  for file in "$work/photos/"*.jpg; do cp -p "$file" "$work/many/${copy}_${file##*/}"; done
done

# The median of RUNS timings (seconds) of a command; PREPARE runs untimed before each.
median() {
  local prepare=$1; shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    eval "$prepare"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

for folder in photos many; do
  count=$(ls "$work/$folder" | wc -l)
  fresh="rm -rf '$work/run' '$work/data'; cp -a '$work/$folder' '$work/run'"
  plan=$(median "$fresh" "$cli" --data "$work/data" shot-date --dry-run "$work/run")
  whole=$(median "$fresh" "$cli" --data "$work/data" shot-date "$work/run")
  if command -v exiftool >/dev/null && [ "$folder" = photos ]; then
    other=$(median "$fresh" exiftool -q '-FileName<DateTimeOriginal' -d '%y%m%d-%%.3nc.%%e' "$work/run")
    ratio=$(echo "scale=1; $other / $whole" | bc)
    printf '%6d files  plan %.3f s  whole run %.3f s  exiftool %.2f s  ratio %sx\n' "$count" "$plan" "$whole" "$other" "$ratio"
  else
    printf '%6d files  plan %.3f s  whole run %.3f s\n' "$count" "$plan" "$whole"
  fi
done

command -v jhead >/dev/null || { echo "jhead is not installed: no comparison with it"; exit 0; }
for count in 2000 10000; do
  mkdir "$work/seconds$count"
  start=$(date -d '2021-03-01 08:00:00' +%s)
  for ((i = 0; i < count; i++)); do
    file=$work/seconds$count/P$(printf %05d $i).jpg
    cp tests/data/media/ianare-exif-samples/Canon_40D.jpg "$file"
    touch -d "@$((start + i))" "$file"
  done
  jhead -q -dsft "$work/seconds$count/"*.jpg >/dev/null 2>&1 # the date taken from the file's time
  fresh="rm -rf '$work/run' '$work/data'; cp -a '$work/seconds$count' '$work/run'"
  whole=$(median "$fresh" "$cli" --data "$work/data" shot-date "$work/run")
  other=$(median "$fresh" sh -c "jhead -q -n%y%m%d-%H%M%S '$work/run/'*.jpg")
  printf '%6d files, one a second  whole run %.3f s  jhead %.3f s  ratio %sx\n' "$count" "$whole" "$other" \
    "$(echo "scale=2; $whole / $other" | bc)"
done
