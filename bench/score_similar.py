#!/usr/bin/env python3
"""Scores sets of similar pictures against a dataset's truth.

    score_similar.py TRUTH SETSFILE
    score_similar.py TRUTH LABEL=SETSFILE [LABEL=SETSFILE ...]

TRUTH is truth.tsv as bench/similar_dataset.sh writes it: path<TAB>source-id<TAB>kind,
paths relative to the folder TRUTH is in (absolute ones are taken as they are).
A SETSFILE holds one set per line, its paths (absolute) separated by TAB.

Per kind of change it prints recall (a copy counts as found when it shares a set
with its original) and precision (of every pair within every set that holds a
picture of that kind, the share whose two pictures have one source id); then
overall precision (every pair within every set) and recall (every copy). For the
look-alike kinds (distinct pictures, kinds "lookalike-...") it prints how many of
them were matched with another picture and how many wrong pairs they stand in.

The kind "grey" (the original without its colours) is reported on its own line
either way: --grey=apart (the default) leaves its pairs with its own original
and copies out of the overall figures (its pairs with other pictures count as wrong),
--grey=copy counts it as a copy to be found, --grey=distinct as a distinct
picture that must not match its original.

With several sets files, one column per file shows recall/precision per kind.
"""
import argparse
import os
import sys
from collections import defaultdict

ORIGINAL = "original"
GREY = "grey"
LOOKALIKE_PREFIX = "lookalike-"


def canonical(path):
    return os.path.realpath(path)


def read_truth(path):
    base = os.path.dirname(os.path.abspath(path))
    truth = {}
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line:
                continue
            fields = line.split("\t")
            if len(fields) != 3:
                sys.exit(f"{path}:{number}: expected path, source id and kind")
            rel, source, kind = fields
            truth[canonical(os.path.join(base, rel))] = (source, kind)
    return truth


def read_sets(path):
    sets = []
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            members = [p for p in line.rstrip("\n").split("\t") if p]
            if len(members) >= 2:
                sets.append([canonical(p) for p in members])
    return sets


def is_lookalike(kind):
    return kind.startswith(LOOKALIKE_PREFIX)


def is_copy(kind, grey):
    if kind == GREY:
        return grey == "copy"
    return kind != ORIGINAL and not is_lookalike(kind)


class Score:
    def __init__(self, truth, sets, grey):
        self.grey = grey
        self.unknown = 0
        self.sets = 0
        self.in_sets = 0
        self.mixed_sets = 0
        self.set_of = {}
        known_sets = []
        for members in sets:
            known = [p for p in members if p in truth]
            self.unknown += len(members) - len(known)
            if len(known) < 2:
                continue
            for p in known:
                if p in self.set_of:
                    sys.exit(f"{p} is in two sets")
                self.set_of[p] = len(known_sets)
            known_sets.append(known)
        self.sets = len(known_sets)
        self.in_sets = sum(len(s) for s in known_sets)

        originals = {source: p for p, (source, kind) in truth.items() if kind == ORIGINAL}
        kinds = sorted({kind for _, kind in truth.values()})
        self.count = defaultdict(int)
        self.found = defaultdict(int)
        self.pairs = defaultdict(int)       # pairs a picture of the kind stands in
        self.right_pairs = defaultdict(int)
        self.matched_wrongly = defaultdict(int)  # pictures in a set with another source
        self.total_pairs = 0
        self.total_right = 0

        for p, (source, kind) in truth.items():
            self.count[kind] += 1
            original = originals.get(source)
            if kind != ORIGINAL and original is not None and p in self.set_of \
                    and self.set_of.get(original) == self.set_of[p]:
                self.found[kind] += 1

        def effective_source(p):
            source, kind = truth[p]
            return source + "~grey" if kind == GREY and grey == "distinct" else source

        for members in known_sets:
            if len({truth[p][0] for p in members}) > 1:
                self.mixed_sets += 1
            for i, a in enumerate(members):
                for b in members[i + 1:]:
                    ka, kb = truth[a][1], truth[b][1]
                    right = truth[a][0] == truth[b][0]
                    for k in {ka, kb}:
                        self.pairs[k] += 1
                        self.right_pairs[k] += right
                    # Whether a grey copy belongs with its own photo is left
                    # open; with any other picture it is wrong either way.
                    if grey == "apart" and GREY in (ka, kb) and right:
                        continue
                    self.total_pairs += 1
                    self.total_right += effective_source(a) == effective_source(b)
            for p in members:
                if any(truth[q][0] != truth[p][0] for q in members):
                    self.matched_wrongly[truth[p][1]] += 1

        self.kinds = kinds
        copies = [k for k in kinds if is_copy(k, grey)]
        self.copies_total = sum(self.count[k] for k in copies)
        self.copies_found = sum(self.found[k] for k in copies)

    def recall(self, kind):
        return self.found[kind] / self.count[kind] if self.count[kind] else None

    def precision(self, kind):
        return self.right_pairs[kind] / self.pairs[kind] if self.pairs[kind] else None

    def overall_precision(self):
        return self.total_right / self.total_pairs if self.total_pairs else None

    def overall_recall(self):
        return self.copies_found / self.copies_total if self.copies_total else None


def fmt(value, digits=2):
    return "   -" if value is None else f"{value:.{digits}f}"


def kind_order(kinds):
    # Originals, then copies, grey, then the look-alikes.
    def rank(kind):
        if kind == ORIGINAL:
            return (0, kind)
        if kind == GREY:
            return (2, kind)
        if is_lookalike(kind):
            return (3, kind)
        return (1, kind)
    return sorted(kinds, key=rank)


def print_one(score):
    print(f"{'kind':<20} {'n':>4} {'found':>6} {'recall':>7} {'pairs':>6} {'precision':>9}  false matches")
    for kind in kind_order(score.kinds):
        n = score.count[kind]
        if kind == ORIGINAL or is_lookalike(kind):
            recall = "      "
            found = "     "
        else:
            recall = fmt(score.recall(kind)).rjust(6)
            found = str(score.found[kind]).rjust(5)
        extra = ""
        if is_lookalike(kind) or kind == GREY:
            extra = f"{score.matched_wrongly[kind]} matched, {score.pairs[kind] - score.right_pairs[kind]} wrong pairs"
        print(f"{kind:<20} {n:>4} {found:>6} {recall:>7} {score.pairs[kind]:>6} {fmt(score.precision(kind)):>9}  {extra}")
    print()
    print(f"overall precision {fmt(score.overall_precision(), 3)} ({score.total_right}/{score.total_pairs} pairs right)"
          f"   recall {fmt(score.overall_recall(), 3)} ({score.copies_found}/{score.copies_total} copies found)"
          f"   grey: {score.grey}")
    print(f"sets {score.sets}, pictures in sets {score.in_sets}, sets mixing sources {score.mixed_sets}"
          + (f", paths not in the truth {score.unknown}" if score.unknown else ""))


def print_columns(labels, scores):
    width = max(11, *(len(label) for label in labels))
    print("recall/precision per kind; for look-alikes and grey: pictures matched with another source")
    print(f"{'kind':<20}" + "".join(f" {label:>{width}}" for label in labels))
    for kind in kind_order(scores[0].kinds):
        cells = []
        for s in scores:
            if kind == ORIGINAL:
                cell = f"p {fmt(s.precision(kind))}"
            elif is_lookalike(kind):
                cell = f"{s.matched_wrongly[kind]}/{s.count[kind]} false"
            elif kind == GREY:
                cell = f"{fmt(s.recall(kind))} ({s.matched_wrongly[kind]})"
            else:
                cell = f"{fmt(s.recall(kind))}/{fmt(s.precision(kind))}"
            cells.append(cell)
        print(f"{kind:<20}" + "".join(f" {c:>{width}}" for c in cells))
    print(f"{'OVERALL precision':<20}" + "".join(f" {fmt(s.overall_precision(), 3):>{width}}" for s in scores))
    print(f"{'OVERALL recall':<20}" + "".join(f" {fmt(s.overall_recall(), 3):>{width}}" for s in scores))
    print(f"{'sets':<20}" + "".join(f" {s.sets:>{width}}" for s in scores))
    print(f"{'sets mixing sources':<20}" + "".join(f" {s.mixed_sets:>{width}}" for s in scores))
    if any(s.unknown for s in scores):
        print(f"{'paths not in truth':<20}" + "".join(f" {s.unknown:>{width}}" for s in scores))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("truth")
    parser.add_argument("sets", nargs="+", help="SETSFILE or LABEL=SETSFILE")
    parser.add_argument("--grey", choices=["apart", "copy", "distinct"], default="apart")
    args = parser.parse_args()
    truth = read_truth(args.truth)
    labels, scores = [], []
    for item in args.sets:
        label, sep, path = item.partition("=")
        if not sep or not label:
            label, path = os.path.basename(item), item
        labels.append(label)
        scores.append(Score(truth, read_sets(path), args.grey))
    if len(scores) == 1:
        print_one(scores[0])
    else:
        print_columns(labels, scores)


if __name__ == "__main__":
    main()
