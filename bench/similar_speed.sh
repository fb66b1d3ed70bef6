#!/usr/bin/env bash
# Pictures fingerprinted per second by the similar-picture search on all
# cores, beside Debian's findimagedupes on the same files in the same run:
# over 12-megapixel JPEG photographs (real photos from Debian's wallpaper
# packages, scaled and cropped to 4000 x 3000) and over the mixed quality set
# of bench/similar_dataset.sh (every format, sizes from 300 pixels up). Then
# the grouping benchmark, when the build has one.
#
#   bash bench/similar_speed.sh [build folder] [count of 12-megapixel files]
#
# findimagedupes runs without a fingerprint database, so it reads every file.
# Ours runs twice over each folder, the first run only warming the page
# cache; findimagedupes gets the same warm cache.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
count=${2:-100}
cache=${QUILLMERE_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmere-bench}

command -v findimagedupes >/dev/null || apt-get install -y -qq --no-install-recommends findimagedupes >/dev/null

# The mixed set; it also fetches and unpacks the packages.
QUILLMERE_BENCH_CACHE=$cache bash "$here/bench/similar_dataset.sh" "$cache/dataset"

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_similar_sets >/dev/null
bench="$build/bench/bench_similar_sets"

# The 12-megapixel photographs: every JPEG of the packages at least 1600
# pixels wide (the small portrait and preview copies left out), each taken
# twice, from two windows of the photo scaled up to cover 4000 x 3000 and
# 4600 x 3450, until there are enough.
big=$cache/jpeg-12mp-$count
if [ ! -f "$big.done" ]; then
  rm -rf "$big"
  mkdir -p "$big"
  mapfile -t photos < <(find "$cache/unpacked" -iname '*.jpg' ! -name 'screenshot*' ! -path '*images_dark*' | LC_ALL=C sort |
    while read -r f; do
      [ "$(identify -format '%w' "${f}[0]" 2>/dev/null)" -ge 1600 ] 2>/dev/null && echo "$f"
    done)
  [ "${#photos[@]}" -gt 0 ] || { echo "no photographs found in $cache/unpacked" >&2; exit 1; }
  n=0
  for window in '4000x3000' '4600x3450'; do
    for f in "${photos[@]}"; do
      [ "$n" -lt "$count" ] || break 2
      convert "$f" -auto-orient -resize "$window^" -gravity center -extent "$window" -extent 4000x3000 +repage \
        -quality 92 "$big/photo$(printf '%03d' "$n").jpg"
      n=$((n + 1))
    done
  done
  touch "$big.done"
fi

rate() { # folder label
  local folder=$1 label=$2 files
  files=$(find "$folder" -type f | wc -l)
  echo "== $label: $files files"
  "$bench" "$folder" --runs 2 --level default 2>&1 | grep -E '^(fingerprinted|level|[0-9]+ files|  \.)'
  local TIMEFORMAT='%R %U %S' times
  times=$( { time findimagedupes -R -q "$folder" >/dev/null 2>&1; } 2>&1 ) || true
  echo "$times" | awk -v n="$files" \
    '{ printf "findimagedupes: %d files in %.2f s: %.1f pictures/s (%.2f s of processor time)\n", n, $1, n / $1, $2 + $3 }'
}

echo "cores: $(nproc)"
rate "$big" "12-megapixel JPEG photographs"
rate "$cache/dataset/pictures" "mixed quality set"

if cmake --build "$build" -j2 --target bench_similar_grouping >/dev/null 2>&1; then
  echo "== grouping"
  "$build/bench/bench_similar_grouping"
fi
