#!/usr/bin/env python3
"""Writes tests/data/crypto/aes_keygen.vec: the AES key blobs that key
generation must give for a seed and a requested length. The key bytes are the
first 16, 24 or 32 bytes of the seed expansion, MD5(seed) || SHA-1(seed),
computed here with Python's hashlib; the blob is the round count (4 bytes,
big-endian) followed by the key bytes.

Run: python3 tests/crypto/make_aes_keygen_vectors.py > tests/data/crypto/aes_keygen.vec
"""
import hashlib

SEEDS = [b"", b"orvocrypto seed"]
# requested length -> (Nr, key bytes): 32 or more -> 14, 24..31 -> 12, below 24 -> 10
LENGTHS = [0, 1, 16, 20, 23, 24, 31, 32, 33, 1000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]


def rounds_for(length):
    return 14 if length >= 32 else 12 if length >= 24 else 10


print("# Source: MD5 (RFC 1321) and SHA-1 (FIPS 180-1) of the seed, computed with Python hashlib "
      "by tests/crypto/make_aes_keygen_vectors.py; Blob = round count (big-endian) || first 16/24/32 bytes "
      "of MD5(seed) || SHA-1(seed).\n")
for seed in SEEDS:
    stream = hashlib.md5(seed).digest() + hashlib.sha1(seed).digest()
    for length in LENGTHS:
        nr = rounds_for(length)
        key = stream[:{10: 16, 12: 24, 14: 32}[nr]]
        print(f"Seed = {seed.hex()}\nLength = {length}\nBlob = {nr.to_bytes(4, 'big').hex()}{key.hex()}\n")
