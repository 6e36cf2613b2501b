#!/usr/bin/env python3
"""Writes a day file of distinct requested paths, the input of
bench/collide_bench.sh:

    bench/gen_collide.py OUTPUT PATHS colliding|random SEED

One line per path, all on 15 January 2024, in the common log format, from
numeric addresses. "colliding" paths all share one value of the string hash
of the item tables (h = h * 33 + byte): each is "/" and 17 two-letter pieces
chosen from "aZ" and "b9", which hash alike ('a' * 33 + 'Z' == 'b' * 33 +
'9'), and ".html", so that any visitor could request them. "random" paths
have the same length with random letters and digits. The same arguments
always give the same file.
"""
import random
import sys

PIECES = ("aZ", "b9")
PAIRS = 17  # 2 ** 17 = 131,072 colliding paths to choose from
ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"


def colliding(rng, count):
    if count > 1 << PAIRS:
        raise SystemExit("at most %d colliding paths" % (1 << PAIRS))
    for n in rng.sample(range(1 << PAIRS), count):
        yield "/" + "".join(PIECES[n >> bit & 1] for bit in range(PAIRS)) + ".html"


def uniform(rng, count):
    seen = set()
    while len(seen) < count:
        path = "/" + "".join(rng.choice(ALPHABET) for _ in range(2 * PAIRS)) + ".html"
        if path not in seen:
            seen.add(path)
            yield path


def main():
    if len(sys.argv) != 5 or sys.argv[3] not in ("colliding", "random"):
        raise SystemExit(__doc__)
    output, count, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    rng = random.Random(int(sys.argv[4]))
    paths = colliding(rng, count) if kind == "colliding" else uniform(rng, count)
    with open(output, "w", newline="\n") as out:
        for n, path in enumerate(paths):
            a = rng.randrange(1 << 30)
            out.write('%d.%d.%d.%d - - [15/Jan/2024:%02d:%02d:%02d +0900] "GET %s HTTP/1.0" 200 1000\n' % (
                a >> 24, a >> 16 & 255, a >> 8 & 255, a & 255, n * 24 // count, n // 60 % 60, n % 60, path))


if __name__ == "__main__":
    main()
