#!/usr/bin/env bash
# Runs the search's listing, measuring and comparison through the command
# line (quillmere --list) beside jdupes -r and fdupes -r on one tree, once
# each with a warm cache, prints wall time and peak memory of each, and checks
# that all three find the same sets of identical files. With --runs N the
# three take turns N times and the median wall time and the largest peak of
# each are printed, which steadies the figures on a shared machine.
#
#   bench/million_peers.sh [--runs N] [--make "make_million_tree.py arguments"] [--keep] [TREE]
#
# TREE defaults to /tmp/quillmere-million; with --make it is (re)generated
# first, e.g. --make "--files 1000000" or --make "--files 1000000 --kind spread".
# A tree made here is deleted at the end unless --keep is given.
# The program is taken from $QUILLMERE, else build/quillmere.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
make_args=""
keep=0
runs=1
tree=/tmp/quillmere-million
while [ $# -gt 0 ]; do
    case "$1" in
        --make) make_args=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --runs) runs=$2; shift 2 ;;
        -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
        *) tree=$1; shift ;;
    esac
done
program=${QUILLMERE:-$repo/build/quillmere}
[ -x "$program" ] || { echo "no program at $program; build the target quillmere first" >&2; exit 1; }
for tool in jdupes fdupes; do
    command -v "$tool" >/dev/null || apt-get install -y "$tool" >/dev/null
done
[ -x /usr/bin/time ] || apt-get install -y time >/dev/null

if [ -n "$make_args" ]; then
    # shellcheck disable=SC2086
    python3 "$here/make_million_tree.py" "$tree" $make_args
    [ "$keep" = 1 ] || trap 'rm -rf "$tree"' EXIT
fi
[ -d "$tree" ] || { echo "no tree at $tree" >&2; exit 1; }

work=$(mktemp -d /tmp/quillmere-million-peers.XXXXXX)
trap 'rm -rf "$work"; if [ -n "$make_args" ] && [ "$keep" = 0 ]; then rm -rf "$tree"; fi' EXIT

# Warm the cache with every file's status and bytes, so that no program
# pays for the disk on behalf of the others.
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

# One timed run: appends "seconds peak-KB" to $work/NAME.runs.
timed() {
    local name=$1; shift
    /usr/bin/time -v -o "$work/$name.time" "$@" >"$work/$name.raw" 2>"$work/$name.err" || {
        echo "$name failed:" >&2; cat "$work/$name.err" >&2; exit 1; }
    local wall rss
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/$name.time" \
        | awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$name.time")
    echo "$wall $rss" >>"$work/$name.runs"
}

# Prints "name median-seconds largest-peak-MB (each run's seconds)".
summary() {
    sort -n "$work/$1.runs" | awk -v name="$1" '
        { wall[NR] = $1; if ($2 > peak) peak = $2; all = all " " $1 }
        END { m = (NR % 2) ? wall[(NR + 1) / 2] : (wall[NR / 2] + wall[NR / 2 + 1]) / 2
              printf "%-10s %8.2f s %8.1f MB   (runs:%s)\n", name, m, peak / 1024, all }'
}

echo "tree: $tree ($(find "$tree" -type f -name '*.jpg' | wc -l) files), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for _ in $(seq "$runs"); do
    timed quillmere "$program" --list "$tree" --mask '*.jpg' --include-system-folders
    timed jdupes jdupes -r -q "$tree"
    timed fdupes fdupes -r -q "$tree"
done
for name in quillmere jdupes fdupes; do
    summary "$name"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Sets as sorted lines of sorted paths, one set per line; only .jpg files of
# more than 100 bytes take part in our search.
normalise() {
    python3 -c '
import os, sys
sets, current = [], []
for line in open(sys.argv[1], encoding="utf-8", errors="surrogateescape"):
    line = line.rstrip("\n")
    if not line:
        if current: sets.append(current)
        current = []
    elif line.lower().endswith(".jpg") and os.path.getsize(line) > 100:
        current.append(line)
if current: sets.append(current)
out = sorted("\t".join(sorted(s)) for s in sets if len(s) >= 2)
sys.stdout.write("\n".join(out) + "\n")
' "$1"
}
normalise "$work/quillmere.raw" >"$work/quillmere.sets"
status=0
for peer in jdupes fdupes; do
    normalise "$work/$peer.raw" >"$work/$peer.sets"
    if cmp -s "$work/quillmere.sets" "$work/$peer.sets"; then
        echo "$peer: same $(wc -l <"$work/$peer.sets") sets"
    else
        echo "$peer: DIFFERENT sets (ours $(wc -l <"$work/quillmere.sets"), theirs $(wc -l <"$work/$peer.sets"))"
        status=1
    fi
done
exit $status
