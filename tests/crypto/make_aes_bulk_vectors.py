#!/usr/bin/env python3
"""Writes tests/data/crypto/aes_bulk.vec: runs longer than the widest bulk loop
(32 blocks in flight) under AES-128, -192 and -256, in ECB and in CBC from an
all-zero IV, computed with the OpenSSL command-line tool
(`openssl enc -aes-<bits>-ecb|cbc -nopad`), never with this project's code.
The block counts leave remainders of whole vectors and of single blocks.

Run: python3 tests/crypto/make_aes_bulk_vectors.py > tests/data/crypto/aes_bulk.vec
"""
import subprocess


def openssl(bits, mode, key, data):
    args = ["openssl", "enc", f"-aes-{bits}-{mode}", "-nopad", "-K", key.hex()]
    if mode == "cbc":
        args += ["-iv", bytes(16).hex()]
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def main():
    version = subprocess.run(["openssl", "version"], capture_output=True, text=True, check=True).stdout.split()[1]
    out = [
        f"# Source: OpenSSL {version} command-line tool, openssl enc -aes-<bits>-ecb / -cbc -nopad "
        "(CBC with IV 00..00); written by tests/crypto/make_aes_bulk_vectors.py.",
        "",
    ]
    for bits, blocks in ((128, 71), (192, 33), (256, 100)):
        key = bytes((0x31 * i + bits) & 0xFF for i in range(bits // 8))
        plain = bytes((7 * i + (i >> 8) + blocks) & 0xFF for i in range(16 * blocks))
        out.append(f"Key = {key.hex()}\nPlaintext = {plain.hex()}\n"
                   f"EcbCiphertext = {openssl(bits, 'ecb', key, plain).hex()}\n"
                   f"CbcCiphertext = {openssl(bits, 'cbc', key, plain).hex()}\n")
    print("\n".join(out), end="")


if __name__ == "__main__":
    main()
