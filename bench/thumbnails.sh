#!/usr/bin/env bash
# Thumbnail speed against djpeg: generates noisy 12-megapixel JPEG files,
# makes their 100 x 75 thumbnails with bench_thumbnails, decodes the same
# files at full size with djpeg (libjpeg-turbo-progs), and prints both.
#   bash bench/thumbnails.sh [build folder] [files] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-imaging}
files=${2:-4}
rounds=${3:-5}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_thumbnails >/dev/null
bench="$build/bench/bench_thumbnails"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t photos < <("$bench" generate "$work" "$files" 4000 3000)
echo "files: ${#photos[@]} x 4000 x 3000, $(du -ch "${photos[@]}" | tail -1 | cut -f1) in all"

# Warm the page cache for both.
cat "${photos[@]}" >/dev/null

ours=$("$bench" run "$rounds" "${photos[@]}")

# djpeg writes its full-size output to /dev/null; its time includes the
# start of one process per file (about a millisecond).
for photo in "${photos[@]}"; do djpeg -outfile /dev/null "$photo"; done
start=$(date +%s%N)
for ((r = 0; r < rounds; r++)); do
  for photo in "${photos[@]}"; do djpeg -outfile /dev/null "$photo"; done
done
end=$(date +%s%N)
theirs=$(awk -v ns=$((end - start)) -v n=$((rounds * ${#photos[@]})) 'BEGIN { printf "%.2f", ns / 1e6 / n }')

echo "thumbnail: $ours ms per file"
echo "djpeg:     $theirs ms per file"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio:     %.3f (thumbnail / djpeg)\n", a / b }'
