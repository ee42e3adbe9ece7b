#!/usr/bin/env python3
"""Writes tests/data/crypto/aes_engine.vec: sealed data of the block-cipher
engine under AES-128, computed with the OpenSSL command-line tool
(`openssl enc -aes-128-ecb|-aes-128-cbc -nopad`), never with this project's code.

The engine pads with the filler byte up to whole 16-byte blocks and starts CBC
from an all-zero chaining register, so each record's ciphertext is OpenSSL's
output for the plaintext followed by the padding (CBC with IV 00..00).
[Chain] records: one object encrypts First in ECB, then Second in CBC, which
chains from the last ciphertext block of the first call.

Run: python3 tests/crypto/make_aes_engine_vectors.py > tests/data/crypto/aes_engine.vec
"""
import subprocess

KEY = bytes(range(16))  # the FIPS-197 appendix C.1 key


def openssl(mode, data, iv=bytes(16)):
    args = ["openssl", "enc", f"-aes-128-{mode}", "-nopad", "-K", KEY.hex()]
    if mode == "cbc":
        args += ["-iv", iv.hex()]
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def padded(data, filler):
    return data + bytes([filler]) * (-len(data) % 16)


def pattern(n, start):
    return bytes((start + 7 * i) & 0xFF for i in range(n))


def main():
    version = subprocess.run(["openssl", "version"], capture_output=True, text=True, check=True).stdout.split()[1]
    out = [
        f"# Source: OpenSSL {version} command-line tool, openssl enc -aes-128-ecb / -aes-128-cbc -nopad "
        "(CBC with IV 00..00), over the padded plaintexts; written by tests/crypto/make_aes_engine_vectors.py.",
        "",
        "[Seal]",
        "",
    ]
    for mode, mode_no in (("ecb", 1), ("cbc", 2)):
        for n in (0, 1, 15, 16, 17, 20, 32, 127, 128, 129, 200, 16 * 17 + 5):
            for filler in (0x00, 0x20, 0xFF) if n % 16 else (0x5A,):
                pt = pattern(n, n)
                ct = openssl(mode, padded(pt, filler))
                out.append(f"Mode = {mode_no}\nFiller = 0x{filler:02X}\nPlaintext = {pt.hex()}\nCiphertext = {ct.hex()}\n")
    out.append("[Chain]\n")
    for n1, n2 in ((16, 16), (20, 48), (100, 5)):
        first, second = pattern(n1, 1), pattern(n2, 99)
        ct1 = openssl("ecb", padded(first, 0))
        ct2 = openssl("cbc", padded(second, 0), iv=ct1[-16:])
        out.append(f"First = {first.hex()}\nFirstCiphertext = {ct1.hex()}\n"
                   f"Second = {second.hex()}\nSecondCiphertext = {ct2.hex()}\n")
    print("\n".join(out), end="")


if __name__ == "__main__":
    main()
