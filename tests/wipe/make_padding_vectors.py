#!/usr/bin/env python3
"""Writes tests/data/wipe/padding_seeds.vec: fixed entropy bytes for the RSA
encryption padding and the seeds they give (SHA-1 of the 20 entropy bytes, by
Python's hashlib), so the wipe tests can look for both in freed memory.

  python3 tests/wipe/make_padding_vectors.py > tests/data/wipe/padding_seeds.vec
"""
import hashlib

print("# Source: tests/wipe/make_padding_vectors.py (Python hashlib SHA-1 of fixed entropy bytes)")
print("# Entropy: 20 bytes handed to the padding; Seed: SHA-1(Entropy), the block's seed.")
print()
for i in range(4):
    entropy = hashlib.sha256(b"orvocrypto padding entropy %d" % i).digest()[:20]
    print("Entropy = " + entropy.hex())
    print("Seed = " + hashlib.sha1(entropy).hexdigest())
    print()
