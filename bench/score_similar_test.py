#!/usr/bin/env python3
"""Checks the similar-set scorer on a small hand-counted truth.

    python3 bench/score_similar_test.py
"""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import score_similar  # noqa: E402

# Two photos A and B with copies, A's grey copy and a look-alike of A.
TRUTH = [
    ("a/o.jpg", "A", "original"),
    ("a/r.jpg", "A", "resize-50"),
    ("a/c.jpg", "A", "crop-5"),
    ("a/g.jpg", "A", "grey"),
    ("a/l.jpg", "A~lookalike-dark", "lookalike-dark"),
    ("b/o.jpg", "B", "original"),
    ("b/r.jpg", "B", "resize-50"),
    ("b/c.jpg", "B", "crop-5"),
]


class ScoreTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.truth_path = os.path.join(self.folder.name, "truth.tsv")
        with open(self.truth_path, "w") as f:
            f.writelines(f"{p}\t{s}\t{k}\n" for p, s, k in TRUTH)
        self.truth = score_similar.read_truth(self.truth_path)

    def tearDown(self):
        self.folder.cleanup()

    def score(self, sets, grey="apart"):
        path = os.path.join(self.folder.name, "sets.tsv")
        with open(path, "w") as f:
            for members in sets:
                f.write("\t".join(os.path.join(self.folder.name, p) for p in members) + "\n")
        return score_similar.Score(self.truth, score_similar.read_sets(path), grey)

    def test_a_look_alike_and_the_grey_copy_in_a_set(self):
        # Set 1: o r g l (6 pairs: o-r o-g r-g right, o-l r-l g-l wrong);
        # set 2: B's original and crop; B's resize with a path not in the truth.
        s = self.score([["a/o.jpg", "a/r.jpg", "a/g.jpg", "a/l.jpg"], ["b/o.jpg", "b/c.jpg"],
                        ["/elsewhere/x.jpg", "b/r.jpg"]])
        self.assertEqual((s.found["resize-50"], s.found["crop-5"], s.found["grey"]), (1, 1, 1))
        self.assertEqual((s.pairs["original"], s.right_pairs["original"]), (4, 3))
        self.assertEqual(s.matched_wrongly["lookalike-dark"], 1)
        self.assertEqual(s.unknown, 1)
        self.assertEqual(s.mixed_sets, 1)
        # The grey copy's pairs with A's pictures are left open; with the
        # look-alike it is wrong: o-r, o-l, r-l, g-l, B's pair -> 2 of 5.
        self.assertEqual((s.total_right, s.total_pairs), (2, 5))
        # Copies to find: four (grey apart), two found.
        self.assertEqual((s.copies_found, s.copies_total), (2, 4))

    def test_grey_counted_either_way(self):
        sets = [["a/o.jpg", "a/g.jpg"]]
        as_copy = self.score(sets, "copy")
        self.assertEqual((as_copy.total_right, as_copy.total_pairs), (1, 1))
        self.assertEqual((as_copy.copies_found, as_copy.copies_total), (1, 5))
        as_distinct = self.score(sets, "distinct")
        self.assertEqual((as_distinct.total_right, as_distinct.total_pairs), (0, 1))
        self.assertEqual(as_distinct.copies_total, 4)

    def test_a_picture_in_two_sets_is_refused(self):
        with self.assertRaises(SystemExit):
            self.score([["a/o.jpg", "a/r.jpg"], ["a/o.jpg", "a/c.jpg"]])


if __name__ == "__main__":
    unittest.main()
