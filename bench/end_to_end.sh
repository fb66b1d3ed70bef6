#!/usr/bin/env bash
# A whole search over a folder of duplicate 12-megapixel JPEG files: generates
# the pictures (each twice), runs bench_end_to_end on them and prints the
# milliseconds per result row.
#   bash bench/end_to_end.sh [build folder] [distinct pictures] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
pictures=${2:-6}
runs=${3:-3}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_thumbnails bench_end_to_end >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos/copies"
mapfile -t photos < <("$build/bench/bench_thumbnails" generate "$work/photos" "$pictures" 4000 3000)
for photo in "${photos[@]}"; do cp "$photo" "$work/photos/copies/"; done
cat "$work"/photos/*.jpg "$work"/photos/copies/*.jpg >/dev/null
"$build/bench/bench_end_to_end" "$work/photos" --runs "$runs"
