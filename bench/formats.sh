#!/usr/bin/env bash
# Row-thumbnail cost of every picture format against that format's own
# command-line decoder doing a full decode of the same files, in the same run.
#
# The files are real photographs nobody on the project made: the JPEG
# wallpapers of Debian's mate-backgrounds package (fetched with apt-get
# download, unpacked here, never installed or kept), converted with each
# format's own encoder (heif-enc, avifenc, cwebp, ppm2tiff) or ImageMagick
# (PNG, GIF). Each decoder writes its output to the cheapest form it has.
#   bash bench/formats.sh [build folder] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
rounds=${2:-3}

# The encoders and decoders, from Debian, when missing.
need=()
for pair in heif-enc:libheif-examples avifenc:libavif-bin cwebp:webp dwebp:webp ppm2tiff:libtiff-tools \
            tiff2rgba:libtiff-tools giftopnm:netpbm pngtopnm:netpbm djpeg:libjpeg-turbo-progs convert:imagemagick; do
  command -v "${pair%%:*}" >/dev/null || need+=("${pair#*:}")
done
if [ "${#need[@]}" -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_thumbnails >/dev/null
bench="$build/bench/bench_thumbnails"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download mate-backgrounds >/dev/null 2>&1) || { echo "mate-backgrounds could not be fetched" >&2; exit 1; }
dpkg -x "$work"/mate-backgrounds_*.deb "$work/unpacked"
mapfile -t sources < <(find "$work/unpacked" -iname '*.jpg' | sort)
echo "source: ${#sources[@]} JPEG wallpapers of mate-backgrounds"

mkdir -p "$work/jpg" "$work/png" "$work/heic" "$work/avif" "$work/webp" "$work/tif" "$work/gif"
i=0
for source in "${sources[@]}"; do
  i=$((i + 1))
  cp "$source" "$work/jpg/$i.jpg"
  convert "$source" "$work/png/$i.png"
  djpeg -outfile "$work/$i.ppm" "$source"
  ppm2tiff -c lzw "$work/$i.ppm" "$work/tif/$i.tif" 2>/dev/null
  rm -f "$work/$i.ppm"
  cwebp -quiet -q 85 "$source" -o "$work/webp/$i.webp"
  heif-enc -q 60 "$source" -o "$work/heic/$i.heic" >/dev/null
  avifenc -s 8 -j 2 "$source" "$work/avif/$i.avif" >/dev/null
  convert "$source" "$work/gif/$i.gif"
done

# Milliseconds per file of a decoder command run over every file, after one
# untimed round; {} stands for the file.
decoder_ms() {
  local folder=$1; shift
  local files=("$folder"/*) start end
  for f in "${files[@]}"; do "${@//\{\}/$f}" >/dev/null 2>&1; done
  start=$(date +%s%N)
  for ((r = 0; r < rounds; r++)); do
    for f in "${files[@]}"; do "${@//\{\}/$f}" >/dev/null 2>&1; done
  done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n=$((rounds * ${#files[@]})) 'BEGIN { printf "%.2f", ns / 1e6 / n }'
}

printf '%-6s %8s %9s %-28s %8s %7s\n' format files "ours ms" "decoder (full decode)" "its ms" ratio
row() {
  local format=$1 folder=$2 name=$3; shift 3
  local files=("$folder"/*) ours theirs
  cat "${files[@]}" >/dev/null
  if ! ours=$("$bench" run "$rounds" "${files[@]}" 2>/dev/null); then
    printf '%-6s %8d %9s %-28s\n' "$format" "${#files[@]}" "-" "(not read by this build)"
    return
  fi
  theirs=$(decoder_ms "$folder" "$@")
  printf '%-6s %8d %9.2f %-28s %8.2f %7.3f\n' "$format" "${#files[@]}" "$ours" "$name" "$theirs" \
    "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')"
}
row JPEG "$work/jpg" "djpeg" djpeg -outfile /dev/null {}
row PNG "$work/png" "pngtopnm" pngtopnm {}
row HEIC "$work/heic" "heif-convert (to y4m)" heif-convert {} "$work/out.y4m"
row AVIF "$work/avif" "avifdec (to y4m)" avifdec {} "$work/out.y4m"
row WebP "$work/webp" "dwebp (to ppm)" dwebp -ppm {} -o /dev/null
row TIFF "$work/tif" "tiff2rgba" tiff2rgba {} "$work/out.tif"
row GIF "$work/gif" "giftopnm" giftopnm {}
