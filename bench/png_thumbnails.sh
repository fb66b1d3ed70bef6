#!/usr/bin/env bash
# PNG thumbnails against pngtopnm, and what hostile PNG files cost.
#
# Fetches real PNG wallpapers nobody on the project made (Debian's
# sway-backgrounds package) and netpbm's pngtopnm with apt-get download;
# nothing is installed or kept. Makes the 100 x 75 row thumbnail of every
# wallpaper with bench_thumbnails, decodes the same files in full with
# pngtopnm (output to /dev/null) in the same run, and prints both and their
# ratio. Then builds hostile PNG files (a few hundred bytes claiming
# 100,000 x 100,000 pixels, a stream that inflates to gigabytes, a cut file,
# a damaged checksum, megabytes of text and colour profile) and prints each
# one's time and peak memory, one process each.
#   bash bench/png_thumbnails.sh [build folder] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-imaging}
rounds=${2:-5}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_thumbnails >/dev/null
bench="$build/bench/bench_thumbnails"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download sway-backgrounds netpbm libnetpbm11 >/dev/null 2>&1)
for deb in "$work"/*.deb; do dpkg -x "$deb" "$work/tree"; done
pngtopnm=("env" "LD_LIBRARY_PATH=$work/tree/usr/lib/x86_64-linux-gnu" "$work/tree/usr/bin/pngtopnm")
mapfile -t photos < <(find "$work/tree/usr/share/backgrounds" -iname '*.png' | sort)
echo "files: ${#photos[@]} PNG wallpapers of sway-backgrounds, $(du -cb "${photos[@]}" | tail -1 | cut -f1) bytes in all"
for photo in "${photos[@]}"; do
  echo "  $(basename "$photo"): $(head -c 24 "$photo" | tail -c 8 | od -An -tu1 | awk '{ print ($1*16777216+$2*65536+$3*256+$4) " x " ($5*16777216+$6*65536+$7*256+$8) }')"
done

# Warm the page cache for both.
cat "${photos[@]}" >/dev/null
ours=$("$bench" run "$rounds" "${photos[@]}")

for photo in "${photos[@]}"; do "${pngtopnm[@]}" "$photo" >/dev/null; done
start=$(date +%s%N)
for ((r = 0; r < rounds; r++)); do
  for photo in "${photos[@]}"; do "${pngtopnm[@]}" "$photo" >/dev/null; done
done
end=$(date +%s%N)
theirs=$(awk -v ns=$((end - start)) -v n=$((rounds * ${#photos[@]})) 'BEGIN { printf "%.2f", ns / 1e6 / n }')
echo "thumbnail: $ours ms per file"
echo "pngtopnm:  $theirs ms per file (full decode, one process per file)"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio:     %.3f (thumbnail / pngtopnm)\n", a / b }'

echo
echo "hostile PNG files (time, row result; peak memory of the whole process):"
python3 - "$work/hostile" <<'PY'
import os, struct, sys, zlib
out = sys.argv[1]
os.makedirs(out)
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
def png(width, height, depth, colour, idat, extra=b""):
    head = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + extra + chunk(b"IDAT", idat) + chunk(b"IEND", b"")
def save(name, data):
    open(os.path.join(out, name), "wb").write(data)
save("claim-100000.png", png(100000, 100000, 8, 2, zlib.compress(b"\0" * 3000)))
# One flushed block of zero rows, repeated: inflates to 2 GiB of rows.
row = 16384 * 8 + 1
z = zlib.compressobj(9)
block = z.compress(b"\0" * (row * 8)) + z.flush(zlib.Z_FULL_FLUSH)
save("bomb-16384-rgba16.png", png(16384, 16384, 16, 6, block[:2] + block[2:] * 2048))
# Flat grey within the allowance every file has: 6000 x 6000, 34 MiB of rows.
row = 6000 + 1
z = zlib.compressobj(9)
block = z.compress(b"\0" * (row * 100)) + z.flush(zlib.Z_FULL_FLUSH)
save("flat-6000-grey.png", png(6000, 6000, 8, 0, block[:2] + block[2:] * 60))
noise = bytes((i * 2654435761 >> 13) & 255 for i in range(3000 * 3 + 1)) 
rows = b"".join(b"\0" + noise[:3000 * 3] for _ in range(2000))
whole = png(3000, 2000, 8, 2, zlib.compress(rows, 1))
save("cut-half.png", whole[: len(whole) // 2])
bad = bytearray(whole); bad[len(whole) - 14] ^= 0x20
save("bad-crc.png", bytes(bad))
text = chunk(b"iCCP", b"icc\0\0" + b"x" * (16 << 20)) + chunk(b"zTXt", b"k\0\0" + b"y" * (16 << 20))
save("text-32MiB.png", png(640, 480, 8, 2, zlib.compress(b"".join(b"\0" + b"\x80" * 1920 for _ in range(480))), text))
PY
for file in "$work"/hostile/*.png; do
  line=$(/usr/bin/time -f "%M" -o "$work/rss" "$bench" one "$file")
  printf "  %-22s %8s bytes  %s  peak %d MB\n" "$(basename "$file")" "$(stat -c %s "$file")" "$line" $(($(cat "$work/rss") / 1024))
done
