#!/usr/bin/env bash
# Runs the real program's list mode (quillmere --list: listing, measuring,
# comparison, printing the sets) and three other duplicate finders (jdupes,
# fdupes, rmlint) on the same tree with a warm cache, prints the median time
# of each and our time as a ratio to theirs, and checks that all four find
# the same duplicate sets among the .jpg files.
#
#   bench/compare_peers.sh [--runs N] [--make "make_tree.py arguments"] [TREE]
#
# TREE defaults to /tmp/quillmere-bench-tree; with --make it is (re)generated
# first by bench/make_tree.py, e.g. --make "--files 20000 --mean-kb 165".
# The program is taken from $QUILLMERE, else from build/quillmere.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
runs=5
make_args=""
tree=/tmp/quillmere-bench-tree
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --make) make_args=$2; shift 2 ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) tree=$1; shift ;;
    esac
done

program=${QUILLMERE:-$repo/build/quillmere}
if [ ! -x "$program" ]; then
    echo "$program is not built; build the target quillmere first" >&2
    exit 1
fi

missing=()
for tool in jdupes fdupes rmlint; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}" >&2
    apt-get install -y "${missing[@]}" >/dev/null
fi

if [ -n "$make_args" ]; then
    # shellcheck disable=SC2086
    python3 "$here/make_tree.py" "$tree" $make_args
fi
if [ ! -d "$tree" ]; then
    echo "no tree at $tree; give --make \"--files 20000\" to create one" >&2
    exit 1
fi

work=$(mktemp -d /tmp/quillmere-peers.XXXXXX)
trap 'rm -rf "$work"' EXIT
# rmlint is run from here so that nothing it might write lands in the tree
# or in the caller's folder; with only the fdupes output it writes no files.
mkdir "$work/cwd"

run_ours()   { "$program" --list "$tree" --mask '*.jpg' >"$work/ours.raw"; }
run_jdupes() { jdupes -r -q "$tree" >"$work/jdupes.raw"; }
run_fdupes() { fdupes -r -q "$tree" >"$work/fdupes.raw"; }
run_rmlint() { (cd "$work/cwd" && rmlint -T df --hidden -o fdupes "$tree" >"$work/rmlint.raw" 2>/dev/null); }

# Median wall time, in seconds, of $runs runs after one warm-up run.
median_time() {
    local fn=$1 times=()
    "$fn"
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        "$fn"
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# Duplicate sets in one canonical form: .jpg paths only, each set sorted, the
# sets sorted, sets of fewer than two dropped.
canonical() {
    python3 - "$1" <<'PY'
import sys
groups, current = [], []
for line in open(sys.argv[1], "rb").read().split(b"\n"):
    if line == b"":
        if current:
            groups.append(current)
        current = []
    elif line.lower().endswith(b".jpg"):
        current.append(line)
if current:
    groups.append(current)
groups = sorted(sorted(g) for g in groups if len(g) > 1)
sys.stdout.buffer.write(b"\n\n".join(b"\n".join(g) for g in groups) + b"\n")
PY
}

echo "tree: $tree ($(find "$tree" -type f -name '*.jpg' | wc -l) .jpg files, $(du -sh "$tree" | cut -f1)); median of $runs warm runs"
ours=$(median_time run_ours)
canonical "$work/ours.raw" >"$work/ours.sets"
sets=$(grep -c . "$work/ours.sets" || true)
printf '%-8s %8.3f s\n' quillmere "$ours"
status=0
for tool in jdupes fdupes rmlint; do
    t=$(median_time "run_$tool")
    canonical "$work/$tool.raw" >"$work/$tool.sets"
    if cmp -s "$work/ours.sets" "$work/$tool.sets"; then agree="same sets"; else agree="DIFFERENT SETS"; status=1; fi
    printf '%-8s %8.3f s   ours/%s = %.2f   %s\n' "$tool" "$t" "$tool" "$(echo "$ours / $t" | bc -l)" "$agree"
done
echo "files in duplicate sets: $sets"
exit $status
