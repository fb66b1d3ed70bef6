#!/usr/bin/env bash
# Builds the similar-picture quality set in OUTDIR: real photographs and
# artwork from Debian's wallpaper packages (fetched with apt-get download,
# unpacked in a cache folder, never installed or committed), each under every
# kind of change the similar-picture search should see through, plus distinct
# pictures that look alike and must stay apart.
#
#   bash bench/similar_dataset.sh OUTDIR
#
# OUTDIR/pictures/<kind>/<name>.<ext> holds the files, OUTDIR/truth.tsv lists
# them as  path<TAB>source-id<TAB>kind  with paths relative to OUTDIR. Every
# copy shares its original's source id; every look-alike (kinds starting with
# "lookalike-") has a source id of its own. "grey" is its own kind: the scorer
# reports it either as a copy or as a distinct picture.
# A finished OUTDIR (truth.tsv present) is left as it is.
set -euo pipefail
out=${1:?usage: similar_dataset.sh OUTDIR}
cache=${QUILLMERE_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmere-bench}
jobs=${JOBS:-$(nproc)}

if [ -s "$out/truth.tsv" ]; then
  echo "dataset ready: $out ($(($(wc -l <"$out/truth.tsv"))) pictures)"
  exit 0
fi

need=()
for pair in convert:imagemagick cwebp:webp heif-enc:libheif-examples avifenc:libavif-bin \
            tiffcp:libtiff-tools exiftool:libimage-exiftool-perl python3:python3; do
  command -v "${pair%%:*}" >/dev/null || need+=("${pair#*:}")
done
if [ "${#need[@]}" -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The packages, fetched once and unpacked once.
source "$(dirname "$0")/wallpapers.sh"
fetch_wallpapers || exit 1
u=$cache/unpacked

# The originals, a fixed list so that every run picks the same pictures:
# JPEG photographs and PNG artwork at least 1600 pixels wide, one size of each
# wallpaper (the packages ship some in several sizes, which would be copies
# nobody made here), leaving out near-flat ones (a plain gradient, a black
# field) whose changed copies no fingerprint could tell from each other, and
# transparent overlays (MATE's Flow, Gulp, Silk, Spring, Waves) that are a
# white field once put on white, and a repeating stripe pattern whose
# neighbouring views are the same picture.
p16=$u/lomiri-wallpapers-16.04/usr/share/backgrounds
p20=$u/lomiri-wallpapers-20.04/usr/share/backgrounds
mate=$u/mate-backgrounds/usr/share/backgrounds/mate
kde=$u/plasma-workspace-wallpapers/usr/share/wallpapers
ukui=$u/ukui-wallpapers/usr/share/backgrounds
gnome=$u/gnome-backgrounds/usr/share/backgrounds/gnome
originals=(
  "$p16/Bridge_by_Sander_Klootwijk.jpg" "$p16/Dragonfly_by_Bolly.jpg" "$p16/Picture_0B_by_freespace.jpg"
  "$p16/Wine_by_Jakkub_Mede.jpg" "$p16/aitzgorri_by_Aitzol_Berasategi.jpg" "$p16/analogpattern_by_Peter_Nerlich.jpg"
  "$p16/free_by_Peter_Nerlich.jpg" "$p16/friends_by_Aitzol_Berasategi.jpg" "$p16/greentock_by_Peter_Nerlich.jpg"
  "$p16/life_by_Aitzol_Berasategi.jpg" "$p16/picosdeeuropa_by_Aitzol_Berasategi.jpg"
  "$p16/seeding_by_Clements_Engelhardt.jpg" "$p16/sunset_by_Aitzol_Berasategi.jpg"
  "$p20/Infinite-Sea_by_Aury88.jpg" "$p20/Kleiber_by_Lukas_Baubkus.jpg" "$p20/Painting-Colors_by__herobrine7gamer.jpg"
  "$mate/nature/Aqua.jpg" "$mate/nature/Blinds.jpg" "$mate/nature/Dune.jpg" "$mate/nature/FreshFlower.jpg"
  "$mate/nature/Garden.jpg" "$mate/nature/LadyBird.jpg" "$mate/nature/RainDrops.jpg" "$mate/nature/Storm.jpg"
  "$mate/nature/TwoWings.jpg" "$mate/nature/Wood.jpg" "$mate/nature/YellowFlower.jpg"
  "$mate/abstract/Elephants_5640x3172.jpg" "$mate/desktop/GreenTraditional.jpg"
  "$kde/Autumn/contents/images/2560x1600.jpg" "$kde/BytheWater/contents/images/2560x1600.jpg"
  "$kde/ColdRipple/contents/images/2560x1600.jpg" "$kde/ColorfulCups/contents/images/2560x1600.jpg"
  "$kde/EveningGlow/contents/images/2560x1600.jpg" "$kde/FallenLeaf/contents/images/2560x1600.jpg"
  "$kde/Flow/contents/images/5120x2880.jpg" "$kde/Grey/contents/images/2560x1600.jpg"
  "$kde/Honeywave/contents/images/5120x2880.jpg" "$kde/Kite/contents/images/2560x1600.jpg"
  "$kde/OneStandsOut/contents/images/2560x1600.jpg" "$kde/PastelHills/contents/images/3200x2000.jpg"
  "$kde/Path/contents/images/2560x1600.jpg" "$kde/SafeLanding/contents/images/5120x2880.jpg"
  "$kde/Shell/contents/images/5120x2880.jpg" "$kde/Volna/contents/images/5120x2880.jpg"
  "$kde/summer_1am/contents/images/2560x1600.jpg"
  "$kde/Altai/contents/images/5120x2880.png" "$kde/Canopee/contents/images/3840x2160.png"
  "$kde/Cascade/contents/images/3840x2160.png" "$kde/Cluster/contents/images/3840x2160.png"
  "$kde/Elarun/contents/images/2560x1600.png" "$kde/FlyingKonqui/contents/images/2560x1600.png"
  "$kde/IceCold/contents/images/5120x2880.png" "$kde/Kay/contents/images/5120x2880.png"
  "$kde/Kokkini/contents/images/3840x2160.png" "$kde/MilkyWay/contents/images/5120x2880.png"
  "$kde/Opal/contents/images/3840x2160.png" "$kde/Patak/contents/images/5120x2880.png"
  "$ukui/2004default.jpg" "$ukui/firstgeneration.jpg" "$ukui/rhythm.jpg" "$ukui/string.jpg" "$ukui/the-mouse.jpg"
  "$ukui/calla.png" "$ukui/city.png" "$ukui/desert.png" "$ukui/fluent-color.png" "$ukui/focal-ubuntukylin.png"
  "$ukui/goldfish.png" "$ukui/rollpaper.png"
)
# One design in other colours or light and dark, as the packages ship them:
# each is a distinct picture (kind lookalike-variant).
variants=(
  "$kde/Flow/contents/images_dark/5120x2880.jpg" "$kde/Kay/contents/images_dark/5120x2880.png"
  "$kde/Patak/contents/images_dark/3840x2160.png"
  "$mate/desktop/Ubuntu-Mate-Cold-no-logo.png" "$mate/desktop/Ubuntu-Mate-Dark-no-logo.png"
  "$mate/desktop/Ubuntu-Mate-Warm-no-logo.png" "$mate/desktop/Ubuntu-Mate-Radioactive-no-logo.png"
  "$gnome/adwaita-l.webp" "$gnome/adwaita-d.webp" "$gnome/wood-l.webp" "$gnome/wood-d.webp"
  "$gnome/licorice-l.webp" "$gnome/licorice-d.webp" "$gnome/pixels-l.webp" "$gnome/pixels-d.webp"
  "$gnome/truchet-l.webp" "$gnome/truchet-d.webp" "$gnome/vnc-l.webp" "$gnome/vnc-d.webp"
)

# A short, stable name for a package file: its package's and its wallpaper's.
slug() {
  local f=$1 name package
  package=${f#"$u"/}
  package=${package%%/*}
  package=${package%%-*}
  case "$f" in
    */contents/images_dark/*) name=$(basename "$(dirname "$(dirname "$(dirname "$f")")")")-dark ;;
    */contents/images/*) name=$(basename "$(dirname "$(dirname "$(dirname "$f")")")") ;;
    *) name=$(basename "${f%.*}") ;;
  esac
  echo "$package-$name" | tr -c 'A-Za-z0-9_\n-' '_'
}

# Built in OUTDIR.building, kept across an interrupted run: an original whose
# rows are written is done and not made again.
work=$out.building
mkdir -p "$work/pictures" "$work/rows"

# Every original and variant becomes an upright sRGB JPEG of at most 2048
# pixels on its long side, flattened on white: the set stays quick to build
# and to search, and every copy is made from exactly the picture scored.
normalize() { # source destination
  convert "$1" -auto-orient -background white -alpha remove -alpha off -colorspace sRGB \
    -resize '2048x2048>' -quality 92 "$2"
}

# One original under every kind of change, and its look-alikes. Writes its
# truth rows to rows/<name>.tsv.
make_copies() { # index source name
  local index=$1 source=$2 name=$3 p=$work/pictures
  local o=$p/original/$name.jpg rows=$work/rows/$name.tsv.part
  local id=$name
  [ -s "$work/rows/$name.tsv" ] && return 0
  mkdir -p "$p/original"
  normalize "$source" "$o"
  : >"$rows"
  add() { echo "pictures/$1	$2	$3" >>"$rows"; }
  add "original/$name.jpg" "$id" original

  jpg() { # kind, then ImageMagick operators
    local kind=$1; shift
    mkdir -p "$p/$kind"
    convert "$o" "$@" -quality 90 "$p/$kind/$name.jpg"
    add "$kind/$name.jpg" "$id" "$kind"
  }
  jpg resize-50 -resize 50%
  jpg resize-300 -resize 300x300
  mkdir -p "$p/jpeg-q50" "$p/jpeg-q70"
  convert "$o" -quality 50 "$p/jpeg-q50/$name.jpg"; add "jpeg-q50/$name.jpg" "$id" jpeg-q50
  convert "$o" -quality 70 "$p/jpeg-q70/$name.jpg"; add "jpeg-q70/$name.jpg" "$id" jpeg-q70

  # Conversions, each by the format's own encoder where Debian has one.
  mkdir -p "$p/to-png" "$p/to-webp" "$p/to-heic" "$p/to-avif" "$p/to-tiff" "$p/to-gif" "$work/tmp"
  convert "$o" -define png:exclude-chunk=date,time "$p/to-png/$name.png"; add "to-png/$name.png" "$id" to-png
  cwebp -quiet -q 80 "$o" -o "$p/to-webp/$name.webp"; add "to-webp/$name.webp" "$id" to-webp
  # x265 runs without its thread pool: one job per core already, and its
  # pool stalls for seconds at a time on a busy machine.
  heif-enc -q 50 -p x265:pools=none "$o" -o "$p/to-heic/$name.heic" >/dev/null; add "to-heic/$name.heic" "$id" to-heic
  avifenc -s 8 -j 1 --min 20 --max 40 --ignore-exif --ignore-xmp "$o" "$p/to-avif/$name.avif" >/dev/null; add "to-avif/$name.avif" "$id" to-avif
  convert "$o" -compress none "$work/tmp/$name.tif"
  tiffcp -c lzw:2 "$work/tmp/$name.tif" "$p/to-tiff/$name.tif"; rm -f "$work/tmp/$name.tif"
  add "to-tiff/$name.tif" "$id" to-tiff
  convert "$o" "$p/to-gif/$name.gif"; add "to-gif/$name.gif" "$id" to-gif

  # Metadata only: the very pixels, other tags.
  mkdir -p "$p/meta-stripped" "$p/meta-changed"
  # exiftool -o writes no file that is there (left by an interrupted run).
  rm -f "$p/meta-stripped/$name.jpg" "$p/meta-changed/$name.jpg"
  exiftool -q -m -all= -o "$p/meta-stripped/$name.jpg" "$o"; add "meta-stripped/$name.jpg" "$id" meta-stripped
  exiftool -q -m -AllDates='2011:03:14 09:26:53' -Make='Canon' -Model='Canon EOS 5D Mark II' \
    -Artist='Someone Else' -ImageDescription='holiday' -o "$p/meta-changed/$name.jpg" "$o"
  add "meta-changed/$name.jpg" "$id" meta-changed

  # Pixels stored turned, with the EXIF orientation that turns them back: the
  # upright picture is the original. The orientations take turns over the set.
  local orientation=$((2 + index % 7)) stored
  case $orientation in
    2) stored=(-flop) ;;
    3) stored=(-rotate 180) ;;
    4) stored=(-flip) ;;
    5) stored=(-transpose) ;;
    6) stored=(-rotate 270) ;;
    7) stored=(-transverse) ;;
    8) stored=(-rotate 90) ;;
  esac
  mkdir -p "$p/exif-orientation"
  convert "$o" "${stored[@]}" -quality 92 "$p/exif-orientation/$name-o$orientation.jpg"
  exiftool -q -m -overwrite_original -n -Orientation=$orientation "$p/exif-orientation/$name-o$orientation.jpg"
  add "exif-orientation/$name-o$orientation.jpg" "$id" exif-orientation

  jpg crop-2 -gravity center -crop 96%x96%+0+0 +repage
  jpg crop-5 -gravity center -crop 90%x90%+0+0 +repage
  jpg brighter-10 -brightness-contrast 10x0
  jpg darker-10 -brightness-contrast -10x0
  jpg contrast+10 -brightness-contrast 0x10
  jpg contrast-10 -brightness-contrast 0x-10
  jpg turn-90 -rotate 90
  jpg turn-180 -rotate 180
  jpg turn-270 -rotate 270
  jpg mirror -flop
  jpg flip -flip

  # Look-alikes: distinct pictures, each with a source id of its own.
  lookalike() { # kind, then ImageMagick operators
    local kind=$1; shift
    mkdir -p "$p/$kind"
    convert "$o" "$@" -quality 90 "$p/$kind/$name.jpg"
    add "$kind/$name.jpg" "$name~$kind" "$kind"
  }
  # A change of colours makes a distinct picture only where it moves the
  # pixels by at least 4% (root mean square): a grey photo in "other colours"
  # or a green one with red and blue swapped is the photo itself. Such a
  # file is made and dropped, never listed.
  distinct() { # file
    convert "$o" "$1" -resize '256x256!' -metric RMSE -compare -format '%[distortion]' info: 2>/dev/null |
      awk '{exit !($1 >= 0.04)}'
  }
  colours() { # kind, then ImageMagick operators
    local kind=$1; shift
    mkdir -p "$p/$kind"
    convert "$o" "$@" -quality 90 "$p/$kind/$name.jpg"
    if distinct "$p/$kind/$name.jpg"; then
      add "$kind/$name.jpg" "$name~$kind" "$kind"
    else
      rm -f "$p/$kind/$name.jpg"
    fi
  }
  colours lookalike-hue -modulate 100,100,160
  # (A colour matrix, not -separate -swap -combine: ImageMagick 6 combines
  # separated channels into a grey picture.)
  colours lookalike-channels -color-matrix "0 0 1 0 1 0 1 0 0"
  lookalike lookalike-light -brightness-contrast 38x0
  lookalike lookalike-dark -brightness-contrast -38x0
  # Neighbouring views of one scene: windows of 60% whose left edges lie
  # 25% of the width apart.
  mkdir -p "$p/lookalike-view"
  local w h
  read -r w h < <(identify -format '%w %h\n' "$o")
  local cw=$((w * 60 / 100)) ch=$((h * 60 / 100)) y=$((h * 20 / 100))
  convert "$o" -crop "${cw}x${ch}+$((w * 10 / 100))+$y" +repage -quality 90 "$p/lookalike-view/$name-left.jpg"
  convert "$o" -crop "${cw}x${ch}+$((w * 35 / 100))+$y" +repage -quality 90 "$p/lookalike-view/$name-right.jpg"
  add "lookalike-view/$name-left.jpg" "$name~view-left" lookalike-view
  add "lookalike-view/$name-right.jpg" "$name~view-right" lookalike-view

  # Grey: the same photo without its colours, a kind of its own, where it
  # differs from the photo.
  mkdir -p "$p/grey"
  convert "$o" -colorspace gray -quality 90 "$p/grey/$name.jpg"
  if distinct "$p/grey/$name.jpg"; then
    add "grey/$name.jpg" "$id" grey
  else
    rm -f "$p/grey/$name.jpg"
  fi
  mv "$rows" "$work/rows/$name.tsv"
}
export -f make_copies normalize
export work

# The originals in parallel, one job per original.
# LIMIT=N builds only the first N originals (a quick try of the script).
[ -n "${LIMIT:-}" ] && originals=("${originals[@]:0:$LIMIT}")
i=0
for f in "${originals[@]}"; do
  [ -f "$f" ] || { echo "missing in the packages: $f" >&2; exit 1; }
  printf '%s\t%s\t%s\n' "$i" "$f" "$(slug "$f")"
  i=$((i + 1))
done >"$work/originals.tsv"
if [ "$(cut -f3 "$work/originals.tsv" | sort | uniq -d | wc -l)" -ne 0 ]; then
  echo "two originals share a name" >&2; exit 1
fi
echo "building ${#originals[@]} originals x up to 32 files with $jobs jobs into $out"
tr '\t' '\0' <"$work/originals.tsv" | tr '\n' '\0' |
  xargs -0 -n 3 -P "$jobs" bash -c 'set -euo pipefail; make_copies "$@"' _

mkdir -p "$work/pictures/lookalike-variant"
rm -f "$work/rows/~variants.tsv"
for f in "${variants[@]}"; do
  n=$(slug "$f")
  normalize "$f" "$work/pictures/lookalike-variant/$n.jpg"
  printf 'pictures/lookalike-variant/%s.jpg\tvariant~%s\tlookalike-variant\n' "$n" "$n" >>"$work/rows/~variants.tsv"
done

LC_ALL=C sort "$work"/rows/*.tsv >"$work/truth.tsv"
rm -rf "$work/rows" "$work/tmp" "$work/originals.tsv"
# Every row names a file that is there, and every file has its row.
while IFS=$'\t' read -r path _ _; do
  [ -s "$work/$path" ] || { echo "missing: $path" >&2; exit 1; }
done <"$work/truth.tsv"
stray=$(cd "$work" && find pictures -type f | LC_ALL=C sort | LC_ALL=C comm -23 - <(cut -f1 truth.tsv | LC_ALL=C sort))
[ -z "$stray" ] || { echo "files without a truth row: $stray" >&2; exit 1; }
rm -rf "$out"
mv "$work" "$out"
echo "dataset ready: $out ($(($(wc -l <"$out/truth.tsv"))) pictures)"
