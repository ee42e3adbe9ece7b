"""Cipher.iv, Cipher.strip_filler and the streams of Cipher and RSAKey:
NIST SP 800-38A's CBC vectors, sealed data against Python's `cryptography`
from random IVs, streams in random pieces against one whole call, and the
streams' state rules."""
import random

import pytest
from conftest import key_blob
from cryptography.hazmat.primitives.ciphers import Cipher as PeerCipher
from cryptography.hazmat.primitives.ciphers import modes
from test_cipher import PEER, padded, peer

import orvocrypto


def keyed(name, key, mode=2, filler=0):
    c = orvocrypto.Cipher(name)
    c.key = key_blob(name, key)
    c.mode, c.filler = mode, filler
    return c


def peer_from(name, key, iv):
    algorithm = peer(name, key, 1).algorithm
    return PeerCipher(algorithm, modes.CBC(iv))


def test_sp800_38a_cbc_from_the_iv(vec):
    for r in vec("crypto/aes_cbc_iv.vec"):
        c = keyed("aes", r.bytes("Key"))
        c.iv = r.bytes("IV")
        assert c.iv == r.bytes("IV"), r.where
        assert c.encrypt(r.bytes("Plaintext")).hex() == r["Ciphertext"], r.where
        assert c.iv == r.bytes("Ciphertext")[-16:], r.where  # the register: the last ciphertext block
        c.iv = bytearray(r.bytes("IV"))
        assert c.decrypt(r.bytes("Ciphertext")) == r.bytes("Plaintext"), r.where


@pytest.mark.parametrize("name", sorted(PEER))
def test_records_from_one_iv_against_cryptography(name):
    rng = random.Random(f"iv {name}")
    key = rng.randbytes(16)
    c = keyed(name, key, filler=0x20)
    for _ in range(20):
        # Data that does not end in the filler byte (" ") comes back whole.
        iv, data = rng.randbytes(c.block_size), rng.randbytes(rng.randrange(0, 70)).replace(b" ", b"!")
        c.iv = memoryview(iv)
        sealed = c.encrypt(data)
        p = peer_from(name, key, iv).encryptor()
        assert sealed == p.update(padded(data, 0x20, c.block_size)) + p.finalize()
        c.iv = iv
        assert c.strip_filler(c.decrypt(sealed)) == data


def test_iv_rules():
    c = orvocrypto.Cipher("blowfish")
    assert c.iv == bytes(8)  # a new cipher starts from zeros
    for bad in (bytes(7), bytes(9), bytes(16), b""):
        with pytest.raises(ValueError, match=rf"iv must be 8 bytes \(the block size\), not {len(bad)}"):
            c.iv = bad
    with pytest.raises(TypeError):
        c.iv = "12345678"
    assert c.iv == bytes(8)
    c.iv = b"ABCDEFGH"
    c.mode = "ecb"  # a change of mode keeps the register
    assert c.iv == b"ABCDEFGH"


# (cipher, filler, data, kept bytes): at most a block less one filler byte goes.
STRIP = [
    ("aes", 0, b"hello" + bytes(11), 5),
    ("aes", 0, bytes(range(16)), 16),  # whole blocks: no padding was added
    ("aes", 0, bytes(16), 1),  # all filler: the data's own last byte stays
    ("aes", 0, b"abc" + bytes(29), 17),
    ("aes", 7, b"hi" + b"\x07" * 14, 2),
    ("aes", 7, b"hi" + bytes(14), 16),
    ("aes", 0, b"", 0),
    ("blowfish", 0xFF, b"h" + b"\xff" * 7, 1),
    ("blowfish", 0, bytes(8), 1),
]


@pytest.mark.parametrize("name,filler,data,kept", STRIP)
def test_strip_filler(name, filler, data, kept):
    c = orvocrypto.Cipher(name)
    c.filler = filler
    assert c.strip_filler(data) == data[:kept]
    assert c.strip_filler(bytearray(data)) == data[:kept]


def feed(update, data, rng):
    """update() over the data in random pieces (some empty); what they return, joined."""
    out, at = [], 0
    while at < len(data):
        n = rng.choice([0, 1, 7, 15, 16, 17, 100, 4096])
        out.append(update(data[at : at + n]) or b"")
        at += n
    return b"".join(out)


@pytest.mark.parametrize("name", ["aes", "twofish", "blowfish"])
@pytest.mark.parametrize("mode", [1, 2])
def test_streams_give_one_call_s_bytes(name, mode):
    rng = random.Random(f"stream {name} {mode}")
    key = rng.randbytes(16)
    for length in (0, 1, 15, 16, 17, 100, 5000):
        data = rng.randbytes(length)
        iv = rng.randbytes(8 if name == "blowfish" else 16)
        whole = keyed(name, key, mode, filler=9)
        whole.iv = iv
        sealed = whole.encrypt(data)
        s = keyed(name, key, mode, filler=9)
        s.iv = iv
        assert feed(s.encrypt_update, data, rng) + s.encrypt_final() == sealed
        assert s.iv == whole.iv
        s.iv = iv
        opened = feed(s.decrypt_update, sealed, rng)
        assert s.decrypt_final() is None
        assert opened == padded(data, 9, s.block_size)
        if name in PEER and mode == 2:
            p = peer_from(name, key, iv).encryptor()
            assert sealed == p.update(padded(data, 9, s.block_size)) + p.finalize()


def test_stream_state_rules():
    c = keyed("aes", bytes(16))
    assert c.encrypt_update(b"abc") == b""
    for call in (lambda: c.encrypt(b"x"), lambda: c.decrypt(bytes(16)), lambda: c.decrypt_update(b"x"),
                 lambda: c.decrypt_final()):
        with pytest.raises(RuntimeError, match=r"an encryption stream is open \(encrypt_final ends it\)"):
            call()
    with pytest.raises(RuntimeError, match="an encryption stream is open"):
        c.iv = bytes(16)
    assert len(c.encrypt_final()) == 16
    assert c.encrypt_final() == b""  # no stream open: nothing pending
    # A partial block left fails the end of a decryption stream, which closes it.
    c.decrypt_update(bytes(17))
    with pytest.raises(orvocrypto.AlarmError, match="^Crypto System: Unable to decrypt data$"):
        c.decrypt_final()
    assert len(c.decrypt(bytes(16))) == 16
    # A cipher without a key fails at once and opens no stream.
    bare = orvocrypto.Cipher("aes")
    with pytest.raises(orvocrypto.AlarmError, match="Invalid key"):
        bare.encrypt_update(b"abc")
    bare.iv = bytes(16)  # no stream was opened
    with pytest.raises(TypeError):
        c.encrypt_update("text")


def test_rsa_update_and_finals():
    k = orvocrypto.RSAKey.from_seeds(b"stream seed one", b"stream seed two", 64)
    rng = random.Random("rsa stream")
    data = rng.randbytes(10000)
    feed(k.update, data, rng)
    assert k.sign_final() == k.sign(data)
    # The feed starts anew after a final.
    k.update(b"other")
    signature = k.sign_final()
    assert signature == k.sign(b"other")
    k.update(b"oth")
    k.update(bytearray(b"er"))
    assert k.verify_final(signature) is True
    k.update(b"another")
    assert k.verify_final(signature) is False
    # A final that fails for want of the key half starts anew too.
    public = orvocrypto.RSAKey()
    public.public_blob = k.public_blob
    public.update(b"lost")
    with pytest.raises(orvocrypto.AlarmError, match="Invalid key - RSA"):
        public.sign_final()
    public.update(b"other")
    assert public.verify_final(signature) is True
