#!/usr/bin/env bash
# Builds the libFuzzer targets of the imaging code with clang 14 into
# build-imaging/fuzz (or the folder given as $1): bmp_fuzzer, jpeg_fuzzer,
# png_fuzzer, tiff_fuzzer, heif_fuzzer, webp_fuzzer, gif_fuzzer, and
# make_seeds, which writes the seed corpora. See fuzz/README.md.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$root/build-imaging/fuzz}
mkdir -p "$out"

cxx=${CXX_FUZZ:-clang++-14}
qt_flags="$(pkg-config --cflags Qt6Gui) $(pkg-config --cflags libheif libavif)"
qt_libs="$(pkg-config --libs Qt6Gui) $(pkg-config --libs libheif libavif)"
common=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -I"$root/src" -I"$root/tests/imaging" -I"$root/tests")
sanitize=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

# The decoders, their formats and what they stand on; no table, no widgets.
sources=(
  src/imaging/picture_limits.cpp src/imaging/byte_source.cpp src/imaging/pixel_buffer.cpp
  src/imaging/graphic.cpp src/imaging/bitmap.cpp src/imaging/bmp_reader.cpp src/imaging/stretch.cpp
  src/imaging/row_stretcher.cpp src/imaging/jpeg_codec.cpp src/imaging/jpeg_decompressor.cpp
  src/imaging/jpeg_evidence.cpp src/imaging/jpeg_scans.cpp src/imaging/png_codec.cpp
  src/imaging/picture_format.cpp src/imaging/encoded_picture_format.cpp src/imaging/encoded_picture.cpp
  src/imaging/jpeg_format.cpp src/imaging/png_format.cpp src/imaging/heif_format.cpp src/imaging/avif_format.cpp
  src/imaging/tiff_codec.cpp src/imaging/tiff_format.cpp src/imaging/webp_format.cpp src/imaging/gif_format.cpp
  src/imaging/fallback_picture.cpp
  src/imaging/exif_blocks.cpp src/imaging/orientation.cpp src/imaging/decode_cancel.cpp src/platform/path_text.cpp src/platform/file_measure.cpp
)
objects=()
for source in "${sources[@]}"; do
  object="$out/$(basename "${source%.cpp}").o"
  # shellcheck disable=SC2086
  "$cxx" "${common[@]}" -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined \
    $qt_flags -c "$root/$source" -o "$object"
  objects+=("$object")
done
# The stand-in picture that a format's row thumbnail shows for a broken file
# is a compiled-in resource.
"$(pkg-config --variable=libexecdir Qt6Core)/rcc" -name imaging "$root/src/imaging/imaging.qrc" \
  -o "$out/qrc_imaging.cpp"
# shellcheck disable=SC2086
"$cxx" "${common[@]}" -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined \
  $qt_flags -c "$out/qrc_imaging.cpp" -o "$out/qrc_imaging.o"
objects+=("$out/qrc_imaging.o")

for target in bmp_fuzzer jpeg_fuzzer png_fuzzer tiff_fuzzer heif_fuzzer webp_fuzzer gif_fuzzer; do
  # shellcheck disable=SC2086
  "$cxx" "${common[@]}" "${sanitize[@]}" $qt_flags "$here/$target.cpp" "${objects[@]}" \
    -o "$out/$target" $qt_libs -ljpeg -lpng16 -ltiff -lz -lwebp -lwebpdemux -lgif -lexif
done

# shellcheck disable=SC2086
"$cxx" "${common[@]}" $qt_flags "$here/make_seeds.cpp" "$root/tests/support/picture_fixtures.cpp" \
  "$root/tests/support/tiff_fixtures.cpp" "$root/tests/support/heif_samples.cpp" "$root/tests/support/webp_gif_fixtures.cpp" -o "$out/make_seeds" $qt_libs -ljpeg -ltiff -lz -lwebp -lgif
echo "built in $out"
