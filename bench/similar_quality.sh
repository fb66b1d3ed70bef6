#!/usr/bin/env bash
# Precision and recall of the similar-picture search, per kind of change and
# at every level, beside Debian's findimagedupes at its default threshold on
# the same pictures in the same run.
#
#   bash bench/similar_quality.sh [build folder] [dataset folder]
#
# The dataset (bench/similar_dataset.sh: real photographs from Debian's
# wallpaper packages under every kind of change, plus look-alikes) is built
# when missing, by default in the bench cache folder. Our sets come from
# bench_similar_sets (the search's fingerprint and grouping, on all cores);
# findimagedupes runs as it ships, without a fingerprint database. The sets
# files stay in the cache's quality-run folder for a closer look.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cache=${QUILLMERE_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmere-bench}
data=${2:-$cache/dataset}

command -v findimagedupes >/dev/null || apt-get install -y -qq --no-install-recommends findimagedupes >/dev/null
command -v python3 >/dev/null || apt-get install -y -qq --no-install-recommends python3 >/dev/null

QUILLMERE_BENCH_CACHE=$cache bash "$here/bench/similar_dataset.sh" "$data"

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_similar_sets >/dev/null
bench="$build/bench/bench_similar_sets"

run=$cache/quality-run
rm -rf "$run"
mkdir -p "$run"

# The levels' words, strictest first, and the default one.
mapfile -t levels < <("$bench" --levels | cut -d' ' -f1)
default=$("$bench" --levels | awk '$3 == "default" {print $1}')

echo "== quillmere (turns and mirroring on), every level"
"$bench" "$data/pictures" --out "$run/quillmere" 2>"$run/quillmere.log"
grep -v '^unreadable: ' "$run/quillmere.log" || true
echo "== quillmere, turns and mirroring off, default level ($default)"
"$bench" "$data/pictures" --out "$run/noturns" --no-turns --level "$default" 2>"$run/noturns.log"
grep '^level' "$run/noturns.log" || true

echo "== findimagedupes (default threshold, no database)"
start=$(date +%s.%N)
# It prints each set on a line, its paths separated by spaces (the set's paths
# hold none).
findimagedupes -R -q "$data/pictures" 2>"$run/findimagedupes.err" | tr ' ' '\t' >"$run/findimagedupes.tsv"
end=$(date +%s.%N)
echo "findimagedupes: $(wc -l <"$run/findimagedupes.tsv") sets in $(awk "BEGIN {printf \"%.1f\", $end - $start}") s"

columns=()
for word in "${levels[@]}"; do
  columns+=("$word=$run/quillmere-$word.tsv")
done
columns+=("$default-noturns=$run/noturns-$default.tsv" "findimagedupes=$run/findimagedupes.tsv")

echo
python3 "$here/bench/score_similar_test.py" 2>/dev/null || { echo "the scorer fails its own checks" >&2; exit 1; }
echo "== precision and recall per kind (grey apart from the overall figures)"
python3 "$here/bench/score_similar.py" "$data/truth.tsv" "${columns[@]}"
echo
echo "== quillmere at the default level ($default) in full"
python3 "$here/bench/score_similar.py" "$data/truth.tsv" "$run/quillmere-$default.tsv"
echo
echo "== findimagedupes in full"
python3 "$here/bench/score_similar.py" "$data/truth.tsv" "$run/findimagedupes.tsv"
