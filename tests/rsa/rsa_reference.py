#!/usr/bin/env python3
"""Independent reference for the RSA key generation, key blobs, mask generator,
encryption padding and signatures of orvocrypto, in plain Python integers and
hashlib. It shares no code with the C++ implementation; it is written from the
system's description of the algorithms:

  ExpandSeed(seed, n): B grows by MD5(seed || B) || SHA-1(seed || B) until it
    holds n bytes.
  NextPrime(c): c made odd; candidates c, c + 2, ... are rejected when one of
    the 2304 primes up to 20393 divides them, and accepted when 2^(c-1) mod c
    is 1 (a Fermat test to base 2 only).
  Keys: size 64 / 128 / 256 bytes; p and q from the two seeds expanded to
    size/2 bytes; the larger is p, equal primes give p = NextPrime(p + 1);
    e = 65537 or the next prime while gcd(e, phi) != 1; d = e^-1 mod phi;
    phi = (p-1)(q-1).
  MaskGen(Z, L): SHA-1(Z || C) for C = 0, 20, 40, ... while C <= L.
  OAEP-like encoding with label hash iv and seed SHA-1(entropy bytes);
  signature block 01 FF..FF 00 SHA-1(data), signed with Garner's formula.

Run it to rewrite tests/data/rsa/rsa_keys.vec:
  python3 tests/rsa/rsa_reference.py > tests/data/rsa/rsa_keys.vec
"""
import hashlib
import math


def small_primes(limit=20393):
    sieve = bytearray([1]) * (limit + 1)
    sieve[0] = sieve[1] = 0
    for i in range(2, int(limit ** 0.5) + 1):
        if sieve[i]:
            sieve[i * i::i] = bytearray(len(sieve[i * i::i]))
    return [i for i in range(limit + 1) if sieve[i]]


PRIMES = small_primes()
assert len(PRIMES) == 2304 and PRIMES[-1] == 20393
PRIMORIAL = math.prod(PRIMES)


def expand_seed(seed, n):
    stream = b""
    while len(stream) < n:
        work = seed + stream
        stream += hashlib.md5(work).digest() + hashlib.sha1(work).digest()
    return stream[:n]


def next_prime(c):
    if c % 2 == 0:
        c += 1
    while True:
        # No table prime divides c exactly when gcd(c, product of them) is 1.
        # The exponentiation is square-and-multiply without reducing its
        # starting value 1, so 2^0 "mod 1" is 1 (Python's pow would give 0).
        fermat = pow(2, c - 1, c) if c > 1 else 1
        if math.gcd(c, PRIMORIAL) == 1 and fermat == 1:
            return c
        c += 2


def natural_bytes(x):
    """Shortest big-endian form; zero is the single byte 00."""
    return x.to_bytes(max(1, (x.bit_length() + 7) // 8), "big")


def field(b):
    return len(b).to_bytes(4, "big") + b


class Key:
    def __init__(self, seed1, seed2, requested):
        self.size = 64 if requested <= 64 else 128 if requested <= 128 else 256
        half = self.size // 2
        p = next_prime(int.from_bytes(expand_seed(seed1, half), "big"))
        q = next_prime(int.from_bytes(expand_seed(seed2, half), "big"))
        if p < q:
            p, q = q, p
        elif p == q:
            p = next_prime(p + 1)
        self.p, self.q, self.n = p, q, p * q
        phi = (p - 1) * (q - 1)
        e = 0x10001
        while math.gcd(e, phi) != 1:
            e = next_prime(e + 1)
        self.e = e
        self.d = pow(e, -1, phi)
        self.dP = self.d % (p - 1)
        self.dQ = self.d % (q - 1)
        self.qInv = pow(q, -1, p)

    def public_blob(self):
        return self.size.to_bytes(4, "big") + field(natural_bytes(self.n)) + field(natural_bytes(self.e))

    def private_blob(self):
        out = self.size.to_bytes(4, "big")
        for x in (self.n, self.d, self.p, self.q, self.dP, self.dQ, self.qInv):
            out += field(natural_bytes(x))
        return out

    def sign(self, data):
        h = hashlib.sha1(data).digest()
        em = b"\x01" + b"\xff" * (self.size - 23) + b"\x00" + h
        m = int.from_bytes(em, "big")
        s2 = pow(m % self.q, self.dQ, self.q)
        s1 = pow(m % self.p, self.dP, self.p)
        t = (s1 - s2) % self.p
        s = s2 + (self.qInv * t % self.p) * self.q
        return s.to_bytes(self.size, "big")

    def encrypt(self, data, iv, entropy, separator=1):
        """Blocks of k = size - 42 bytes; one 20-byte entropy string per block."""
        k = self.size - 42
        out = b""
        for i in range(0, len(data), k):
            chunk = data[i:i + k]
            db = iv + bytes(k - len(chunk)) + bytes([separator]) + chunk
            seed = hashlib.sha1(entropy[(i // k) * 20:(i // k) * 20 + 20]).digest()
            masked_db = xor(db, mask_gen(seed, self.size - 21))
            masked_seed = xor(seed, mask_gen(masked_db, 20))
            m = int.from_bytes(masked_seed + masked_db, "big")
            assert m < self.n
            out += pow(m, self.e, self.n).to_bytes(self.size, "big")
        return out


    def decrypt(self, ciphertext, iv):
        """Blocks of size bytes; raises ValueError where decryption fails."""
        out = b""
        if len(ciphertext) % self.size:
            raise ValueError("short block")
        for i in range(0, len(ciphertext), self.size):
            m = pow(int.from_bytes(ciphertext[i:i + self.size], "big"), self.d, self.n)
            em = (m % (1 << (8 * (self.size - 1)))).to_bytes(self.size - 1, "big")
            masked_seed, masked_db = em[:20], em[20:]
            seed = xor(masked_seed, mask_gen(masked_db, 20))
            db = xor(masked_db, mask_gen(seed, self.size - 21))
            if db[:20] != iv:
                raise ValueError("label hash")
            rest = db[20:].lstrip(b"\x00")
            if not rest:
                raise ValueError("no separator")
            out += rest[1:]
        return out


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def mask_gen(z, length):
    t, c = b"", 0
    while True:
        t += hashlib.sha1(z + c.to_bytes(4, "big")).digest()
        c += 20
        if c > length:
            return t[:length]


def entropy_for(label, blocks):
    return b"".join(hashlib.sha256(b"%s/%d" % (label, i)).digest()[:20] for i in range(blocks))


KEYS = [
    (b"alpha", b"beta", 64),
    (b"alpha", b"beta", 128),
    (b"alpha", b"beta", 256),
    (b"", b"", 64),
    (b"same seed", b"same seed", 128),
    (b"short-54", b"short-73", 64),
    (b"seed one", b"seed two", 0),
    (b"seed one", b"seed two", 65),
    (b"seed one", b"seed two", 0xFFFFFFFB),
]


def chernick_carmichael():
    """The least (6k+1)(12k+1)(18k+1) with all three factors prime and above
    20393: a Carmichael number, so a Fermat pseudoprime to base 2 that no table
    prime divides."""
    def is_prime(x):
        return x > 1 and all(x % f for f in range(2, math.isqrt(x) + 1))
    k = 20393 // 6 + 1
    while not (is_prime(6 * k + 1) and is_prime(12 * k + 1) and is_prime(18 * k + 1)):
        k += 1
    return (6 * k + 1) * (12 * k + 1) * (18 * k + 1)


def main():
    print("# Source: tests/rsa/rsa_reference.py (independent Python reference: integers and hashlib)")
    print("# Keys generated from seeds, their blobs, signatures and ciphertexts.")
    print()
    print("[KeyGen]")
    keys = {}
    for seed1, seed2, requested in KEYS:
        key = Key(seed1, seed2, requested)
        keys[(seed1, seed2, key.size)] = key
        print("Seed1 = " + seed1.hex())
        print("Seed2 = " + seed2.hex())
        print("Requested = %d" % requested)
        print("ModulusBits = %d" % key.n.bit_length())
        print("E = %d" % key.e)
        print("Public = " + key.public_blob().hex())
        print("Private = " + key.private_blob().hex())
        print()

    print("[NextPrime]")
    starts = [0, 1, 2, 20393, 65537, 65538, 841217653, 841217652, chernick_carmichael(),
              chernick_carmichael() - 40, 2 ** 32 - 5, 2 ** 32 + 1]
    for bits in (40, 64, 100, 128, 256, 512, 1024):
        starts.append(int.from_bytes(hashlib.sha512(b"start %d" % bits).digest() * 2, "big") >> (1024 - bits))
    for start in starts:
        print("Start = " + natural_bytes(start).hex())
        print("Prime = " + natural_bytes(next_prime(start)).hex())
        print()

    print("[MaskGen]")
    for z, length in ((b"abc", 40), (b"abc", 20), (b"abc", 0), (b"", 43), (bytes(range(64)), 107)):
        print("Z = " + z.hex())
        print("Length = %d" % length)
        print("Mask = " + mask_gen(z, length).hex())
        print()

    print("[Sign]")
    for (seed1, seed2, size), data in (((b"alpha", b"beta", 64), b""),
                                       ((b"alpha", b"beta", 128), b"abc"),
                                       ((b"alpha", b"beta", 256), bytes(range(256)) * 3)):
        key = keys[(seed1, seed2, size)]
        print("Private = " + key.private_blob().hex())
        print("Public = " + key.public_blob().hex())
        print("Data = " + data.hex())
        print("Signature = " + key.sign(data).hex())
        print()

    print("[Encrypt]")
    cases = [((b"alpha", b"beta", 64), b"", b"x" * 22, 1),
             ((b"alpha", b"beta", 64), b"", b"y" * 23, 1),
             ((b"alpha", b"beta", 128), b"label", bytes(range(200)), 1),
             ((b"alpha", b"beta", 256), b"", b"hello", 1),
             ((b"alpha", b"beta", 128), b"", b"odd separator", 0x07)]
    for n, ((seed1, seed2, size), label, data, separator) in enumerate(cases):
        key = keys[(seed1, seed2, size)]
        k = key.size - 42
        blocks = (len(data) + k - 1) // k
        entropy = entropy_for(b"case", n * 16 + blocks)[n * 16 * 20:]
        iv_input = label if label else bytes(4)
        iv = hashlib.sha1(iv_input).digest()
        print("Private = " + key.private_blob().hex())
        print("Public = " + key.public_blob().hex())
        print("IVInput = " + iv_input.hex())
        print("Data = " + data.hex())
        print("Separator = %d" % separator)
        print("Entropy = " + entropy.hex())
        print("Ciphertext = " + key.encrypt(data, iv, entropy, separator).hex())
        print()


if __name__ == "__main__":
    main()
