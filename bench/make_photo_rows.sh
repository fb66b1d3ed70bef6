#!/usr/bin/env bash
# Writes a tree of real-photo duplicates for the window's benchmark: tiles
# of 200 x 150 pixels cut from the photographs and artwork of Debian's
# wallpaper packages (fetched with apt-get download into a cache folder,
# never installed or committed), each tile written twice, so that a search
# finds PAIRS x 2 result rows, each pair with a picture of its own.
#
#   bash bench/make_photo_rows.sh OUTDIR [PAIRS]     (PAIRS defaults to 50000)
#
# Hard links would not do: the search takes a second name of one file for
# no copy. A finished OUTDIR (its .done file present) is left as it is.
set -euo pipefail
out=${1:?usage: make_photo_rows.sh OUTDIR [PAIRS]}
pairs=${2:-50000}
cache=${QUILLMERE_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmere-bench}
jobs=${JOBS:-$(nproc)}

if [ -f "$out/.done" ]; then
  echo "photo rows ready: $out"
  exit 0
fi
command -v convert >/dev/null || apt-get install -y -qq --no-install-recommends imagemagick >/dev/null

source "$(dirname "$0")/wallpapers.sh"
fetch_wallpapers || exit 1

rm -rf "$out"
mkdir -p "$out/tiles"
# Each photo is cut at five scales; every tile is a picture of its own.
find "$cache/unpacked" -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) -size +100k | sort \
  | awk '{ print NR "\t" $0 }' > "$out/sources.tsv"
cut_photo() {
  local number=$1 path=$2 out=$3
  for scale in 1600x1200 1800x1350 2000x1500 2200x1650 2400x1800; do
    convert "$path" -resize "$scale!" -crop 200x150 +repage -quality 88 \
      "$out/tiles/p${number}_${scale}_%03d.jpg" 2>/dev/null || true
  done
}
export -f cut_photo
tr '\t' '\n' < "$out/sources.tsv" | xargs -d '\n' -n 2 -P "$jobs" bash -c 'cut_photo "$1" "$2" "'"$out"'"' _

# PAIRS tiles, spread over folders of 1000, each with its copy beside it.
# (head ends the listing early, which pipefail would take for a failure)
find "$out/tiles" -name '*.jpg' | sort > "$out/tiles.txt"
head -n "$pairs" "$out/tiles.txt" | awk -v out="$out" '
  { folder = sprintf("%s/rows/f%03d", out, int((NR - 1) / 1000)); print folder "\t" $0 }' \
  | while IFS=$'\t' read -r folder tile; do
      mkdir -p "$folder"
      name=$(basename "$tile" .jpg)
      mv "$tile" "$folder/$name.jpg"
      cp "$folder/$name.jpg" "$folder/$name copy.jpg"
    done
rm -rf "$out/tiles" "$out/tiles.txt"
made=$(find "$out/rows" -name '*.jpg' | wc -l)
echo "$made files ($((made / 2)) pairs) under $out/rows"
touch "$out/.done"
