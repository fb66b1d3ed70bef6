#!/usr/bin/env bash
# The window's search beside the command line's on the same trees, in one
# run: `quillmere --list` (wall time, processor time, peak memory) and then
# the whole search through the main window (bench_window_search: time,
# processor time and peak memory of each stage, then sorting, marking and
# painting the rows found), on
#   - the million-file tree of bench/make_million_tree.py (every result row
#     shows the stand-in picture), and
#   - a tree of real-photo duplicates from bench/make_photo_rows.sh.
#
#   bench/window_search.sh [--files N] [--pairs N] [--display offscreen|xvfb] [--keep]
#                          [--million-tree DIR] [--photo-tree DIR]
#
# --files (default 1000000) sizes the generated tree, --pairs (default 50000)
# the photo tree; 0 skips a tree. --million-tree and --photo-tree use trees
# made before (the photo tree's rows folder), which are kept. The window runs offscreen by default, or
# under a virtual X server with --display xvfb. Trees made here are deleted
# at the end unless --keep is given. Programs are taken from build/.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
files=1000000
pairs=50000
display=offscreen
keep=0
given_million=
given_photos=
while [ $# -gt 0 ]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --pairs) pairs=$2; shift 2 ;;
        --display) display=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --million-tree) given_million=$2; shift 2 ;;
        --photo-tree) given_photos=$2; shift 2 ;;
        -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
program=$repo/build/quillmere
window=$repo/build/bench/bench_window_search
for p in "$program" "$window"; do
    [ -x "$p" ] || { echo "no $p; build the targets quillmere and bench_window_search first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || apt-get install -y time >/dev/null

million=/tmp/quillmere-window-million
photos=/tmp/quillmere-window-photos
# Only trees this run makes are deleted; a tree given is never touched, even
# where it lies at the path this script would make its own.
made=()
cleanup() {
    if [ "$keep" = 0 ] && [ ${#made[@]} -gt 0 ]; then
        rm -rf "${made[@]}"
    fi
}
trap cleanup EXIT

# Megabytes of free space the trees to be made need, with room to spare.
need=500
[ -n "$given_million" ] || need=$(( need + files / 1000 * 4 ))
[ -n "$given_photos" ] || need=$(( need + pairs / 1000 * 60 ))
free=$(df -Pm /tmp | awk 'NR == 2 { print $4 }')
[ "$free" -gt "$need" ] || { echo "/tmp has $free MB free; the trees need about $need MB" >&2; exit 1; }

list_mode() {
    local tree=$1
    /usr/bin/time -f '%e %U %S %M' -o /tmp/quillmere-window-list.time "$program" --list "$tree" >/dev/null
    read -r wall user sys peak < /tmp/quillmere-window-list.time
    printf 'quillmere --list: %.2f s, %.2f s processor, %.1f MB peak\n' "$wall" "$(echo "$user + $sys" | bc)" \
        "$(echo "scale=1; $peak / 1024" | bc)"
}

window_search() {
    local tree=$1
    if [ "$display" = xvfb ]; then
        command -v xvfb-run >/dev/null || apt-get install -y xvfb xauth >/dev/null
        xvfb-run -a -s "-screen 0 1280x1024x24" "$window" "$tree"
    else
        QT_QPA_PLATFORM=offscreen "$window" "$tree"
    fi
}

run_tree() {
    local name=$1 tree=$2
    echo "== $name: $tree"
    # A warm cache for both, so neither pays for the disk.
    find "$tree" -type f -print0 | xargs -0 cat >/dev/null
    list_mode "$tree"
    window_search "$tree" 2>/dev/null
    list_mode "$tree"
}

if [ -n "$given_million" ]; then
    run_tree "given tree" "$given_million"
    files=0
fi
if [ -n "$given_photos" ]; then
    run_tree "given photo tree" "$given_photos"
    pairs=0
fi
if [ "$files" -gt 0 ]; then
    made+=("$million")
    python3 "$here/make_million_tree.py" "$million" --files "$files" >/dev/null
    run_tree "generated tree of $files files" "$million"
    [ "$keep" = 1 ] || rm -rf "$million"
fi
if [ "$pairs" -gt 0 ]; then
    made+=("$photos")
    bash "$here/make_photo_rows.sh" "$photos" "$pairs" >/dev/null
    run_tree "real-photo duplicates" "$photos/rows"
fi
