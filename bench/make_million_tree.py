#!/usr/bin/env python3
"""Writes a deterministic tree of many small .jpg files for the scale benchmark.

Two kinds of tree:

  --kind shared (default): nine in ten files have one of seven sizes, so
      nearly every file has others of its size and must be read; one file in
      ten is a copy of an earlier one. Files are small (1 to 4 KiB), so a
      million of them take about 3 GB.
  --kind spread: sizes spread as in a photo folder, from a few hundred bytes
      to --max-kb, most of them distinct; one file in ten is a copy.

Every file longer than 512 bytes starts with the same 512-byte header (a
shorter one with half its length of it), and every file is larger than 100 bytes.
The same arguments always give the same tree, byte for byte.

    bench/make_million_tree.py /tmp/qm-million --files 1000000
"""

import argparse
import os
import random
import shutil
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root", help="folder to create (replaced when it holds a previous tree of this script)")
    parser.add_argument("--files", type=int, default=1000000)
    parser.add_argument("--kind", choices=("shared", "spread"), default="shared")
    parser.add_argument("--max-kb", type=int, default=24, help="largest file of a spread tree, in KiB")
    parser.add_argument("--folders", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    marker = os.path.join(args.root, ".quillmere-bench-tree")
    if os.path.exists(args.root):
        if not os.path.exists(marker):
            sys.exit(f"{args.root} exists and is not a tree made by a benchmark script; not touching it")
        shutil.rmtree(args.root)

    rng = random.Random(args.seed)
    header = rng.randbytes(512)
    folders = [args.root]
    for i in range(args.folders):
        parent = folders[rng.randrange(len(folders))] if folders[1:] and rng.random() < 0.6 else args.root
        folders.append(os.path.join(parent, f"roll{i:04d}"))
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    open(marker, "w").close()

    shared_sizes = [1024 + 457 * k for k in range(7)]

    def next_size():
        if args.kind == "shared":
            if rng.random() < 0.9:
                return rng.choice(shared_sizes)
            return rng.randrange(600, 8192)
        # Log-uniform between 300 bytes and max-kb.
        return int(300 * (args.max_kb * 1024 / 300) ** rng.random())

    originals = []  # (size, seed) of files written as originals
    written = 0
    total = 0
    while written < args.files:
        if originals and rng.random() < 0.1:
            size, seed = originals[rng.randrange(len(originals))]
        else:
            size, seed = next_size(), rng.getrandbits(64)
            if len(originals) < 200000:
                originals.append((size, seed))
            else:
                originals[rng.randrange(len(originals))] = (size, seed)
        # Files shorter than the header start with half their length of it.
        head = header if size > len(header) else header[: size // 2]
        data = head + random.Random(seed).randbytes(size - len(head))
        folder = folders[rng.randrange(len(folders))]
        fd = os.open(os.path.join(folder, f"img{written:07d}.jpg"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.write(fd, data)
        os.close(fd)
        written += 1
        total += size
    print(f"{written} files, {total / 1e9:.2f} GB in {len(folders)} folders under {args.root}")


if __name__ == "__main__":
    main()
