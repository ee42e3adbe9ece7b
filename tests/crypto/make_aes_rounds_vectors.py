#!/usr/bin/env python3
"""Writes tests/data/crypto/aes_rounds.vec: FIPS-197 Cipher (5.1) with a
256-bit key (Nk = 8) and every round count Nr = 0..14 that such a key blob
may carry (all but 10 and 12, which go with 16- and 24-byte keys).

The ciphertexts come from the short, independent FIPS-197 implementation
below (straight from the standard's pseudocode: KeyExpansion, SubBytes,
ShiftRows, MixColumns, AddRoundKey on a 4x4 state), which is first checked
against the third-party `cryptography` package for Nr = 14 and against the
FIPS-197 appendix C.3 example. No code of this project is involved.

Run: python3 tests/crypto/make_aes_rounds_vectors.py > tests/data/crypto/aes_rounds.vec
"""
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def xtime(a):
    a <<= 1
    return a ^ 0x11B if a & 0x100 else a


def mul(a, b):
    r = 0
    while b:
        if b & 1:
            r ^= a
        a, b = xtime(a), b >> 1
    return r


def sbox():
    inverse = [0] + [next(b for b in range(1, 256) if mul(a, b) == 1) for a in range(1, 256)]
    rot = lambda b, n: ((b << n) | (b >> (8 - n))) & 0xFF
    return [b ^ rot(b, 1) ^ rot(b, 2) ^ rot(b, 3) ^ rot(b, 4) ^ 0x63 for b in inverse]


S = sbox()


def key_expansion(key, nr):
    nk = len(key) // 4
    w = [list(key[4 * i:4 * i + 4]) for i in range(nk)]
    rcon = 1
    for i in range(nk, max(nk, 4 * (nr + 1))):
        temp = list(w[i - 1])
        if i % nk == 0:
            temp = [S[b] for b in temp[1:] + temp[:1]]
            temp[0] ^= rcon
            rcon = xtime(rcon)
        elif nk > 6 and i % nk == 4:
            temp = [S[b] for b in temp]
        w.append([a ^ b for a, b in zip(w[i - nk], temp)])
    return w


def cipher(block, key, nr):
    w = key_expansion(key, nr)
    state = [[block[r + 4 * c] for c in range(4)] for r in range(4)]  # state[row][column]

    def add_round_key(rnd):
        for c in range(4):
            for r in range(4):
                state[r][c] ^= w[4 * rnd + c][r]

    def sub_shift():
        for r in range(4):
            row = [S[b] for b in state[r]]
            state[r] = row[r:] + row[:r]

    def mix_columns():
        for c in range(4):
            a = [state[r][c] for r in range(4)]
            for r in range(4):
                state[r][c] = mul(a[r], 2) ^ mul(a[(r + 1) % 4], 3) ^ a[(r + 2) % 4] ^ a[(r + 3) % 4]

    add_round_key(0)
    for rnd in range(1, nr):
        sub_shift()
        mix_columns()
        add_round_key(rnd)
    sub_shift()
    add_round_key(nr)
    return bytes(state[r][c] for c in range(4) for r in range(4))


def main():
    key = bytes.fromhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4")
    plain = bytes.fromhex("6bc1bee22e409f96e93d7e117393172a")
    assert cipher(bytes.fromhex("00112233445566778899aabbccddeeff"), bytes(range(32)), 14).hex() == \
        "8ea2b7ca516745bfeafc49904b496089"
    enc = Cipher(algorithms.AES(key), modes.ECB()).encryptor()
    assert cipher(plain, key, 14) == enc.update(plain) + enc.finalize()
    print("# Source: FIPS-197 Cipher (5.1) with a 256-bit key and Nr = 0..9, 11, 13, 14, from the independent Python "
          "implementation in tests/crypto/make_aes_rounds_vectors.py (checked against Python cryptography at "
          "Nr = 14 and FIPS-197 appendix C.3).\n")
    for nr in [n for n in range(15) if n not in (10, 12)]:
        print(f"Rounds = {nr}\nKey = {key.hex()}\nPlaintext = {plain.hex()}\nCiphertext = {cipher(plain, key, nr).hex()}\n")


if __name__ == "__main__":
    main()
