#!/usr/bin/env python3
"""Writes the digest vector files whose expected values come from Python's
hashlib and zlib: digests at many lengths, the seed expansion and the
clock-seeded counter construction, each re-implemented here from its
description. Run from any folder: python3 tests/data/digest/make_vectors.py
"""
import hashlib
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def pattern(n):
    """The test input of length n: byte i is (i * 7 + 3) mod 251."""
    return bytes((i * 7 + 3) % 251 for i in range(n))


def write(name, source, records):
    with open(os.path.join(HERE, name), "w") as f:
        f.write("# Source: " + source + "\n")
        f.write("# Written by tests/data/digest/make_vectors.py; do not edit.\n")
        for rec in records:
            f.write("\n")
            for key, value in rec:
                f.write("%s = %s\n" % (key, value))


def digests():
    lengths = list(range(0, 200)) + [255, 256, 257, 1000, 4095, 4096, 4097, 65536, 1000003, 1 << 20]
    recs = []
    for n in lengths:
        data = pattern(n)
        recs.append([("Len", n), ("MD5", hashlib.md5(data).hexdigest()),
                     ("SHA1", hashlib.sha1(data).hexdigest()),
                     ("CRC32", "0x%08x" % zlib.crc32(data))])
    write("pattern_digests.vec",
          "Python 3 hashlib.md5, hashlib.sha1 and zlib.crc32 over the inputs whose byte i "
          "is (i * 7 + 3) mod 251", recs)


def expand_seed(seed, n):
    b = b""
    while len(b) < n:
        a = seed + b
        b += hashlib.md5(a).digest() + hashlib.sha1(a).digest()
    return b[:n]


def seeds():
    recs = []
    for seed in [b"", b"abc", bytes([0xA5]), pattern(64), pattern(200)]:
        for n in [0, 1, 16, 20, 35, 36, 37, 56, 71, 72, 73, 128, 300]:
            recs.append([("Seed", seed.hex()), ("N", n), ("Out", expand_seed(seed, n).hex())])
    write("expand_seed.vec",
          "Python 3 hashlib.md5 and hashlib.sha1, chained as B += MD5(seed || B) || SHA1(seed || B)",
          recs)


def random_bytes(t, entropy, n):
    """Returns (counter after the key is added, output)."""
    tb = t.to_bytes(4, "big")
    k = int.from_bytes(hashlib.md5(tb).digest(), "big")
    c = (int.from_bytes(tb + entropy, "big") + k) % (1 << 128)
    start = c
    out = b""
    while len(out) < n:
        out += hashlib.md5(c.to_bytes(16, "big")).digest()
        c = (c + 1) % (1 << 128)
    return start, out[:n]


def entropy_for(t, low96):
    """The 12 entropy bytes that make bytes 4..15 of the started counter equal low96."""
    k = int.from_bytes(hashlib.md5(t.to_bytes(4, "big")).digest(), "big")
    return ((low96 - k) % (1 << 96)).to_bytes(12, "big")


def randoms():
    recs = []
    cases = []
    for n in [0, 16, 17, 32, 33, 48]:
        cases.append((0x5F5E1000, bytes(range(1, 13)), n))
    # Counters whose increments carry: byte 15 0xFF, bytes 12..15 0xFF, and all
    # of bytes 4..15 0xFF (the carry reaches the clock bytes).
    t = 0x12345678
    cases.append((t, entropy_for(t, 0x00000000_00000000_000010FF), 33))
    cases.append((t, entropy_for(t, 0x00000000_000000FF_FFFFFFFF), 49))
    cases.append((t, entropy_for(t, (1 << 96) - 1), 33))
    # Entropy 0xFF.. makes C + K carry from byte 15 up into the clock bytes.
    cases.append((0, b"\xff" * 12, 17))
    # A clock near 2^32 whose key overflows byte 0: the carry out is dropped.
    for t in range(0xFFFFFFFF, 0xFFFFFF00, -1):
        k = int.from_bytes(hashlib.md5(t.to_bytes(4, "big")).digest(), "big")
        if ((t << 96) | ((1 << 96) - 1)) + k >= 1 << 128:
            cases.append((t, b"\xff" * 12, 16))
            break
    for t, e, n in cases:
        start, out = random_bytes(t, e, n)
        recs.append([("Clock", "0x%08x" % t), ("Entropy", e.hex()), ("N", n),
                     ("Counter", "%032x" % start), ("Out", out.hex())])
    write("random_counter.vec",
          "Python 3 hashlib.md5 over the 128-bit big-endian counter C = (clock || entropy) + "
          "MD5(clock) mod 2^128, output MD5(C) || MD5(C+1) || ...", recs)


digests()
seeds()
randoms()
