#!/usr/bin/env bash
# A whole search, from the listing to the filled result table with its
# thumbnails, over two folders of duplicate photos, each searched with every
# processor and again pinned to one (taskset -c 0), printing milliseconds per
# result row and their ratio:
#  - real photographs: the JPEG wallpapers of Debian's mate-backgrounds
#    package (up to 5640 x 3172), fetched with apt-get download and unpacked
#    here; nothing is installed or kept;
#  - generated noisy 12-megapixel JPEG files.
# Each folder holds every picture twice.
#   bash bench/end_to_end.sh [build folder] [generated pictures] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
pictures=${2:-6}
runs=${3:-3}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_thumbnails bench_end_to_end >/dev/null
command -v taskset >/dev/null || { echo "taskset (util-linux) is needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Searches folder with every processor and pinned to one; prints both.
compare() {
  local name=$1 folder=$2 all one
  cat "$folder"/*.jpg "$folder"/copies/*.jpg >/dev/null # warm the page cache
  all=$("$build/bench/bench_end_to_end" "$folder" --runs "$runs" | sed -n 's/^median: \([0-9.]*\).*/\1/p')
  one=$(taskset -c 0 "$build/bench/bench_end_to_end" "$folder" --runs "$runs" | sed -n 's/^median: \([0-9.]*\).*/\1/p')
  printf '%-17s %2d processors: %8.2f ms per row   one processor: %8.2f ms per row   ratio %.2f\n' \
    "$name" "$(nproc)" "$all" "$one" "$(awk -v a="$all" -v b="$one" 'BEGIN { print a / b }')"
}

mkdir -p "$work/real/copies"
if (cd "$work" && apt-get download mate-backgrounds >/dev/null 2>&1); then
  dpkg -x "$work"/mate-backgrounds_*.deb "$work/unpacked"
  i=0
  while IFS= read -r photo; do
    i=$((i + 1))
    cp "$photo" "$work/real/$i.jpg"
    cp "$photo" "$work/real/copies/$i.jpg"
  done < <(find "$work/unpacked" -iname '*.jpg' | sort)
  echo "real photos: $i JPEG wallpapers of mate-backgrounds, each twice"
  compare "real photos" "$work/real"
else
  echo "real photos: mate-backgrounds could not be fetched; skipped"
fi

mkdir -p "$work/generated/copies"
mapfile -t photos < <("$build/bench/bench_thumbnails" generate "$work/generated" "$pictures" 4000 3000)
for photo in "${photos[@]}"; do cp "$photo" "$work/generated/copies/"; done
echo "generated: ${#photos[@]} noisy 4000 x 3000 JPEG files, each twice"
compare "generated" "$work/generated"
