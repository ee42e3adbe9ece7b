"""Cipher: published vectors, the seed keys, sealed data against Python's
`cryptography` (AES and Blowfish, ECB and CBC, with the filler padding applied
here), the chaining block's rules and the failures."""
import array
import random
import warnings

import pytest
from conftest import key_blob, run_in_threads
from cryptography.hazmat.primitives.ciphers import Cipher as PeerCipher
from cryptography.hazmat.primitives.ciphers import algorithms, modes

import orvocrypto

with warnings.catch_warnings():
    warnings.simplefilter("ignore")
    try:
        from cryptography.hazmat.decrepit.ciphers.algorithms import Blowfish
    except ImportError:
        Blowfish = algorithms.Blowfish

PEER = {"aes": algorithms.AES, "blowfish": Blowfish}
FIPS197_KEY = bytes(range(16))  # the key of tests/data/crypto/aes_engine.vec


def keyed(name, key, mode=1, filler=0):
    c = orvocrypto.Cipher(name)
    c.key = key_blob(name, key)
    c.mode, c.filler = mode, filler
    return c


def peer(name, key, mode):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        algorithm = PEER[name](key)
        chaining = modes.ECB() if mode == 1 else modes.CBC(bytes(algorithm.block_size // 8))
        return PeerCipher(algorithm, chaining)


def padded(data, filler, block):
    return data + bytes([filler]) * (-len(data) % block)


BLOCK_VECTORS = [
    ("aes", "crypto/aes_fips197.vec", "Plaintext", "Ciphertext", None),
    ("aes", "crypto/aes_kat.vec", "Plaintext", "Ciphertext", None),
    ("twofish", "crypto/twofish.vec", "PT", "CT", None),
    ("blowfish", "crypto/blowfish.vec", "PT", "CT", {"ECB", "VariableKey"}),
]


@pytest.mark.parametrize("name,file,pt,ct,sections", BLOCK_VECTORS, ids=[v[1] for v in BLOCK_VECTORS])
def test_published_block_vectors(vec, name, file, pt, ct, sections):
    checked = 0
    for r in vec(file):
        if sections and r.section not in sections:
            continue
        c = keyed(name, r.bytes("Key"))
        assert c.encrypt(r.bytes(pt)).hex() == r[ct].lower(), r.where
        assert c.decrypt(r.bytes(ct)).hex() == r[pt].lower(), r.where
        checked += 1
    assert checked > 0


@pytest.mark.parametrize("name", ["aes", "twofish", "blowfish"])
def test_keys_from_seeds(vec, name):
    for r in vec(f"crypto/{name}_keygen.vec"):
        c = orvocrypto.Cipher(name)
        c.keygen(r.bytes("Seed"), r.number("Length"))
        assert c.key.hex() == r["Blob"], r.where


def test_negative_length_is_a_very_large_request():
    # As in a script, where the length is taken as unsigned.
    for name, longest in [("aes", 32), ("twofish", 32), ("blowfish", 56)]:
        c = orvocrypto.Cipher(name)
        c.keygen(b"seed", -1)
        assert len(c.key) == 4 + longest
    with pytest.raises(ValueError):
        orvocrypto.Cipher("aes").keygen(b"seed", 2**32)


def test_sealed_data_of_the_engine(vec):
    for r in vec("crypto/aes_engine.vec"):
        if r.section == "Seal":
            c = keyed("aes", FIPS197_KEY, r.number("Mode"), r.number("Filler"))
            sealed = c.encrypt(r.bytes("Plaintext"))
            assert sealed.hex() == r["Ciphertext"], r.where
            opener = keyed("aes", FIPS197_KEY, r.number("Mode"))
            assert opener.decrypt(sealed) == padded(r.bytes("Plaintext"), r.number("Filler"), 16), r.where
        else:  # [Chain]: ECB first, then CBC chained from the first call's last block
            c = keyed("aes", FIPS197_KEY)
            assert c.encrypt(r.bytes("First")).hex() == r["FirstCiphertext"], r.where
            c.mode = 2
            assert c.encrypt(r.bytes("Second")).hex() == r["SecondCiphertext"], r.where


# The published CBC example has an IV; the engine starts from a zero block. An
# ECB decrypt of E(IV) leaves IV in the chaining block, then CBC goes on from it.
def test_blowfish_cbc_example_through_the_chaining_block(vec):
    (r,) = [r for r in vec("crypto/blowfish.vec") if r.section == "CBC"]
    iv = r.bytes("IV")
    sealer = keyed("blowfish", r.bytes("Key"))
    sealer.decrypt(sealer.encrypt(iv))
    sealer.mode = "cbc"
    assert sealer.encrypt(r.bytes("PT")).hex() == r["CT"].lower()
    opener = keyed("blowfish", r.bytes("Key"), mode=2)
    opener.decrypt(iv)  # a CBC decrypt leaves the last ciphertext block
    assert opener.decrypt(r.bytes("CT")) == padded(r.bytes("PT"), 0, 8)


@pytest.mark.parametrize("name,key_sizes", [("aes", [16, 24, 32]), ("blowfish", [8, 13, 16, 56])])
@pytest.mark.parametrize("mode", [1, 2])
def test_against_cryptography(name, key_sizes, mode):
    rng = random.Random(f"{name}{mode}")
    for size in key_sizes:
        key = rng.randbytes(size)
        sealer, opener = keyed(name, key, mode), keyed(name, key, mode)
        encryptor, decryptor = peer(name, key, mode).encryptor(), peer(name, key, mode).decryptor()
        block = sealer.block_size
        # Several calls on one object: in CBC each one chains from the last.
        for length in [0, 1, block - 1, block, block + 1, 3 * block, rng.randrange(1, 5000)]:
            filler = rng.randrange(256)
            sealer.filler = filler
            data = rng.randbytes(length)
            whole = padded(data, filler, block)
            sealed = sealer.encrypt(data)
            assert sealed == encryptor.update(whole), (size, length)
            assert opener.decrypt(sealed) == whole == decryptor.update(sealed), (size, length)


def test_chaining_block_rules():
    key = bytes(range(16))
    ecb = peer("aes", key, 1)

    def e(block):
        enc = ecb.encryptor()
        return enc.update(block)

    def xor(a, b):
        return bytes(x ^ y for x, y in zip(a, b))

    x, y, z = (bytes([v]) * 16 for v in (1, 2, 3))
    c = keyed("aes", key)
    c.encrypt(x + y)  # ECB encrypt: the chaining block is the last ciphertext block
    c.mode = "CBC"  # a change of mode keeps it
    assert c.encrypt(z) == e(xor(z, e(y)))
    c.mode = 1
    c.decrypt(e(x) + e(y))  # ECB decrypt: the last plaintext block
    c.filler = 7  # a change of filler keeps it
    c.keygen(b"other", 16)  # so does a new key
    c.key = key_blob("aes", key)
    c.mode = 2
    assert c.encrypt(z) == e(xor(z, y))
    last = c.encrypt(x)
    with pytest.raises(orvocrypto.AlarmError):
        c.decrypt(b"partial")  # a failed call leaves it
    c.decrypt(e(z))  # CBC decrypt: the last ciphertext block
    assert c.encrypt(y) == e(xor(y, e(z)))
    assert last == e(xor(x, e(xor(z, y))))


ERRORS = [
    ("aes", lambda c: c.key, "Crypto System: Invalid key - AES"),
    ("twofish", lambda c: c.key, "Crypto System: Invalid key - Twofish"),
    ("blowfish", lambda c: c.key, "Crypto System: Invalid key - Blowfish"),
    ("aes", lambda c: c.encrypt(b"x"), "Crypto System: Invalid key"),
    ("blowfish", lambda c: c.decrypt(bytes(8)), "Crypto System: Invalid key"),
    ("aes", lambda c: setattr(c, "key", b"\0\0\0\x0a" + bytes(15)), "Crypto System: Data is corrupted - AES"),
    ("twofish", lambda c: setattr(c, "key", b"\0\0\0\x05" + bytes(40)), "Crypto System: Data is corrupted - Twofish"),
    ("blowfish", lambda c: setattr(c, "key", b"\0\0\0\x39" + bytes(57)), "Crypto System: Data is corrupted - Blowfish"),
    ("aes", lambda c: setattr(c, "key", b"\0\0"), "Crypto System: Data is corrupted - AES"),
]


@pytest.mark.parametrize("name,action,text", ERRORS)
def test_failures_raise_alarm_error_with_the_text(name, action, text):
    with pytest.raises(orvocrypto.AlarmError) as raised:
        action(orvocrypto.Cipher(name))
    assert str(raised.value) == text
    assert isinstance(raised.value, ValueError)


def test_failed_key_put_and_partial_decrypt_change_nothing():
    c = orvocrypto.Cipher("twofish")
    c.keygen(b"seed", 24)
    before = c.key
    with pytest.raises(orvocrypto.AlarmError):
        c.key = b"\0\0\0\x02" + bytes(3)
    assert c.key == before
    with pytest.raises(orvocrypto.AlarmError, match="^Crypto System: Unable to decrypt data$"):
        c.decrypt(bytes(17))


def test_mode_filler_and_name():
    c = orvocrypto.Cipher("BlowFish")
    assert (c.name, c.block_size, c.mode, c.filler) == ("blowfish", 8, 1, 0)
    for value, expected in [("cbc", 2), ("ECB", 1), (2, 2), (1, 1), (True, 1)]:
        c.mode = value
        assert c.mode == expected
    for bad in [0, 3, -1, 2**70, "ofb", ""]:
        with pytest.raises(ValueError):
            c.mode = bad
    for bad in [1.0, None, b"ecb"]:
        with pytest.raises(TypeError):
            c.mode = bad
    assert c.mode == 1
    for value, expected in [(0x41, 0x41), (0x1FF, 0xFF), (-1, 0xFF), (256, 0), (2**70 + 5, 5)]:
        c.filler = value
        assert c.filler == expected
    with pytest.raises(TypeError):
        c.filler = "A"
    with pytest.raises(ValueError):
        orvocrypto.Cipher("des")
    assert repr(c) == "orvocrypto.Cipher('blowfish')"


def test_argument_types():
    c = keyed("aes", bytes(16))
    data = bytes(range(40))
    expected = c.encrypt(data)
    for form in (bytearray(data), memoryview(data), array.array("B", data)):
        assert c.encrypt(form) == expected
    for bad in ("text", 5, None):
        for call in (c.encrypt, c.decrypt, lambda b: c.keygen(b, 16)):
            with pytest.raises(TypeError):
                call(bad)
        with pytest.raises(TypeError):
            c.key = bad
    with pytest.raises(TypeError):
        c.keygen(b"seed", "16")


# Inputs of some MiB on several threads: each cipher of its own, and one ECB
# cipher shared by all (each call is whole under the object's lock).
def test_threads():
    key = bytes(range(32))
    rng = random.Random(5)
    inputs = [rng.randbytes(2_000_000 + i) for i in range(4)]
    shared = keyed("aes", key)
    results = {}

    def work(i):
        own = keyed("aes", key, mode=2)
        results[i] = (own.encrypt(inputs[i]), shared.encrypt(inputs[i]))

    run_in_threads(work, 4)
    for i, data in enumerate(inputs):
        whole = padded(data, 0, 16)
        assert results[i][0] == peer("aes", key, 2).encryptor().update(whole)
        assert results[i][1] == peer("aes", key, 1).encryptor().update(whole)
