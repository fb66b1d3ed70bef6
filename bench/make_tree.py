#!/usr/bin/env python3
"""Writes a deterministic folder tree of .jpg files for the search benchmark.

The tree mixes what a photo folder holds: unique files, groups of identical
copies scattered over nested folders, near misses of the same size that differ
only in their last byte, and one large run of files that share a single size
(as a camera's fixed-size files do). Every file starts with the same 512-byte
header, as files from one camera share their first bytes, and is larger than
100 bytes. The same arguments always give the same tree, byte for byte.

    bench/make_tree.py /tmp/qm-tree --files 20000 --mean-kb 165
"""

import argparse
import os
import random
import shutil
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root", help="folder to create (replaced when it exists and holds a previous tree)")
    parser.add_argument("--files", type=int, default=20000, help="number of files (default 20000)")
    parser.add_argument("--mean-kb", type=float, default=165.0, help="mean file size in KiB (default 165)")
    parser.add_argument("--shared-size-fraction", type=float, default=0.33,
                        help="share of files in the one run of equal size (default 0.33)")
    parser.add_argument("--folders", type=int, default=300, help="number of folders (default 300)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the generator (default 1)")
    args = parser.parse_args()

    marker = os.path.join(args.root, ".quillmere-bench-tree")
    if os.path.exists(args.root):
        if not os.path.exists(marker):
            sys.exit(f"{args.root} exists and is not a tree made by this script; not touching it")
        shutil.rmtree(args.root)

    rng = random.Random(args.seed)
    mean = int(args.mean_kb * 1024)
    shared_size = mean - 1234
    header = rng.randbytes(512)

    # Nested folders: each new folder goes under a random earlier one.
    folders = [args.root]
    for i in range(args.folders):
        parent = folders[rng.randrange(len(folders))] if folders[1:] and rng.random() < 0.7 else args.root
        folders.append(os.path.join(parent, f"album{i:03d}"))
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    open(marker, "w").close()

    def any_size():
        # Sizes spread between a few KiB and about twice the mean.
        return max(200, int(rng.uniform(0.05, 1.95) * mean))

    def body(size):
        return header + rng.randbytes(size - len(header))

    written = 0
    total_bytes = 0

    def put(data):
        nonlocal written, total_bytes
        folder = folders[rng.randrange(len(folders))]
        with open(os.path.join(folder, f"img{written:05d}.jpg"), "wb") as out:
            out.write(data)
        written += 1
        total_bytes += len(data)

    while written < args.files:
        size = shared_size if rng.random() < args.shared_size_fraction else any_size()
        kind = rng.random()
        data = body(size)
        if kind < 0.55:  # a unique file
            copies, near_misses = 1, 0
        elif kind < 0.85:  # a group of identical copies
            copies, near_misses = rng.choice((2, 2, 2, 3, 3, 4)), 0
        else:  # copies with a twin that differs only in its last byte
            copies, near_misses = rng.choice((1, 2, 3)), 1
        for _ in range(copies):
            if written < args.files:
                put(data)
        for _ in range(near_misses):
            if written < args.files:
                put(data[:-1] + bytes([data[-1] ^ 0xFF]))

    print(f"{written} files, {total_bytes / 1e9:.2f} GB in {len(folders)} folders under {args.root}")


if __name__ == "__main__":
    main()
