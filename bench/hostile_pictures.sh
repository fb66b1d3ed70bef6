#!/usr/bin/env bash
# What hostile picture files cost, and whether real photos keep their
# thumbnails: builds bench_hostile_pictures, makes a folder of sixteen hostile
# rows (two copies of eight files), prints time and peak memory per row and in
# all, then fetches real photos (the JPEG wallpapers of Debian's
# mate-backgrounds package, with apt-get download; nothing is installed or
# kept) and compares their streamed thumbnails with full decode and stretch.
#   bash bench/hostile_pictures.sh [build folder]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-imaging}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_hostile_pictures >/dev/null
bench="$build/bench/bench_hostile_pictures"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/hostile" "$work/real"
mapfile -t files < <("$bench" make "$work/hostile")
echo "hostile rows: ${#files[@]} files, $(du -cb "${files[@]}" | tail -1 | cut -f1) bytes in all"
"$bench" run "${files[@]}"

echo
if (cd "$work/real" && apt-get download mate-backgrounds >/dev/null 2>&1); then
  dpkg -x "$work"/real/*.deb "$work/real/tree"
  mapfile -t photos < <(find "$work/real/tree" -iname '*.jpg' | sort)
  echo "real photos: ${#photos[@]} JPEG wallpapers of mate-backgrounds"
  "$bench" real "${photos[@]}"
else
  echo "real photos: mate-backgrounds could not be fetched; skipped"
fi
