#!/usr/bin/env python3
"""Writes tests/data/crypto/twofish_keygen.vec and blowfish_keygen.vec: the key
blobs that key generation must give for a seed and a requested length. The key
bytes are the first bytes of the seed expansion B, which grows by
MD5(seed || B) || SHA-1(seed || B) per pass, computed here with Python's
hashlib. Twofish: k = 2, 3 or 4 (requested length up to 16, 17 to 24, above
24), blob = k (4 bytes, big-endian) || 8k key bytes. Blowfish: L = the requested
length clamped to 8..56, blob = L (4 bytes, big-endian) || L key bytes.

Run: python3 tests/crypto/make_twofish_blowfish_keygen_vectors.py tests/data/crypto
"""
import hashlib
import sys

SEEDS = [b"", b"orvocrypto seed"]
LENGTHS = [0, 1, 7, 8, 9, 16, 17, 20, 24, 25, 32, 36, 37, 55, 56, 57, 1000,
           0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]


def expand(seed, n):
    stream = b""
    while len(stream) < n:
        work = seed + stream
        stream += hashlib.md5(work).digest() + hashlib.sha1(work).digest()
    return stream[:n]


def twofish_blob(seed, length):
    k = 2 if length <= 16 else 3 if length <= 24 else 4
    return k.to_bytes(4, "big") + expand(seed, 8 * k)


def blowfish_blob(seed, length):
    n = min(max(length, 8), 56)
    return n.to_bytes(4, "big") + expand(seed, n)


def write(path, rule, blob):
    with open(path, "w") as f:
        f.write("# Source: MD5 (RFC 1321) and SHA-1 (FIPS 180-1) computed with Python hashlib by "
                "tests/crypto/make_twofish_blowfish_keygen_vectors.py; " + rule + "\n\n")
        for seed in SEEDS:
            for length in LENGTHS:
                f.write(f"Seed = {seed.hex()}\nLength = {length}\nBlob = {blob(seed, length).hex()}\n\n")


out = sys.argv[1] if len(sys.argv) > 1 else "."
write(f"{out}/twofish_keygen.vec", "Blob = k (big-endian) || first 8k bytes of the seed expansion, "
      "k = 2 up to 16 requested bytes, 3 up to 24, 4 above.", twofish_blob)
write(f"{out}/blowfish_keygen.vec", "Blob = L (big-endian) || first L bytes of the seed expansion, "
      "L = requested length clamped to 8..56.", blowfish_blob)
