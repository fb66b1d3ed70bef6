#!/usr/bin/env bash
# The same whole search twice, as the window runs it (listing, comparison or
# fingerprints, then the result rows with their thumbnails), first with an
# empty cache of pictures and then again, beside the same search without a
# cache. Two searches over real photographs from Debian's wallpaper packages
# (bench/similar_dataset.sh fetches them with apt-get download and makes the
# changed copies; nothing is installed or committed):
#  - identical files with thumbnails: the photographs and their conversions
#    to PNG, TIFF, WebP, HEIC and AVIF, every file twice;
#  - similar pictures: the whole similar-picture set.
# Each search runs RUNS times (median wall time, largest peak memory). Every
# run must show the same rows and thumbnails; the script fails when not.
#
#   bash bench/cache_speed.sh [build folder] [dataset folder] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
dataset=${2:-${QUILLMERE_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmere-bench}/dataset}
runs=${3:-3}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_cache_search >/dev/null
bash "$here/bench/similar_dataset.sh" "$dataset" >/dev/null
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/identical/a"
for kind in original to-png to-tiff to-webp to-heic to-avif; do
  cp -r "$dataset/pictures/$kind" "$work/identical/a/"
done
cp -r "$work/identical/a" "$work/identical/b"

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# One search: prints "milliseconds peak-KB rows-digest cpu-seconds".
search() {
  local folder=$1; shift
  /usr/bin/time -f "%M %U %S" -o "$work/peak" "$build/bench/bench_cache_search" "$folder" "$@" >"$work/out" 2>/dev/null
  local ms digest kb user system
  ms=$(sed -n 's/.*, \([0-9.]*\) ms (.*/\1/p' "$work/out")
  digest=$(sed -n 's/.*rows \([0-9a-f]*\)$/\1/p' "$work/out")
  read -r kb user system <"$work/peak"
  echo "$ms $kb $digest $(echo "$user + $system" | bc -l)"
}

compare() {
  local name=$1 folder=$2 goal=$3; shift 3
  local none=() first=() second=() peaks=() digests=() cpu=()
  find "$folder" -type f -exec cat {} + >/dev/null # a warm page cache for every run
  for ((r = 0; r < runs; r++)); do
    rm -rf "$work/cache"
    read -r ms kb digest s < <(search "$folder" "$@" --no-cache)
    none+=("$ms"); peaks+=("none:$kb"); digests+=("$digest"); cpu+=("none:$s")
    read -r ms kb digest s < <(search "$folder" "$@" --cache "$work/cache")
    first+=("$ms"); peaks+=("first:$kb"); digests+=("$digest"); cpu+=("first:$s")
    read -r ms kb digest s < <(search "$folder" "$@" --cache "$work/cache")
    second+=("$ms"); peaks+=("second:$kb"); digests+=("$digest"); cpu+=("second:$s")
  done
  local distinct
  distinct=$(printf '%s\n' "${digests[@]}" | sort -u | wc -l)
  local n f s
  n=$(printf '%s\n' "${none[@]}" | median)
  f=$(printf '%s\n' "${first[@]}" | median)
  s=$(printf '%s\n' "${second[@]}" | median)
  local size cn cf cs
  size=$(du -k "$work/cache/cache.sqlite" | cut -f1)
  cn=$(printf '%s\n' "${cpu[@]}" | sed -n 's/^none://p' | median)
  cf=$(printf '%s\n' "${cpu[@]}" | sed -n 's/^first://p' | median)
  cs=$(printf '%s\n' "${cpu[@]}" | sed -n 's/^second://p' | median)
  echo "$name ($(sed -n 's/.*: \([0-9]* files, [0-9]* result rows\).*/\1/p' "$work/out")), median of $runs runs:"
  printf '  without a cache      %9.1f ms   peak %s KB\n' "$n" "$(printf '%s\n' "${peaks[@]}" | sed -n 's/^none://p' | sort -n | tail -1)"
  printf '  first, cache empty   %9.1f ms   peak %s KB   (%.3fx without; goal <= 1.05)\n' "$f" \
    "$(printf '%s\n' "${peaks[@]}" | sed -n 's/^first://p' | sort -n | tail -1)" "$(echo "$f / $n" | bc -l)"
  printf '  second, cache filled %9.1f ms   peak %s KB   (%.3fx the first; goal <= %s)\n' "$s" \
    "$(printf '%s\n' "${peaks[@]}" | sed -n 's/^second://p' | sort -n | tail -1)" "$(echo "$s / $f" | bc -l)" "$goal"
  printf '  processor time (user + system, steadier on a busy machine): %.2f s without, %.2f s first (%.3fx), %.2f s second (%.3fx the first)\n' \
    "$cn" "$cf" "$(echo "$cf / $cn" | bc -l)" "$cs" "$(echo "$cs / $cf" | bc -l)"
  echo "  cache file: $size KB; rows and thumbnails alike in all $((runs * 3)) runs: $([ "$distinct" = 1 ] && echo yes || echo NO)"
  [ "$distinct" = 1 ]
}

command -v bc >/dev/null || apt-get install -y -qq bc >/dev/null
compare "identical files with thumbnails" "$work/identical" 0.15
compare "similar pictures" "$dataset/pictures" 0.05 --similar
