"""RSAKey: keys from seeds, signatures and ciphertexts of tests/data/rsa,
signatures checked with Python's `cryptography`, labels and the failures."""
import hashlib

import pytest
from cryptography.hazmat.primitives.asymmetric import padding, rsa

import orvocrypto
from rsa_blobs import fields, loaded


def records(vec, section):
    return [r for r in vec("rsa/rsa_keys.vec") if r.section == section]


def test_keys_from_seeds(vec):
    for r in records(vec, "KeyGen"):
        key = orvocrypto.RSAKey.from_seeds(r.bytes("Seed1"), r.bytes("Seed2"), r.number("Requested"))
        assert key.public_blob.hex() == r["Public"], r.where
        assert key.private_blob.hex() == r["Private"], r.where


def test_signatures(vec):
    for r in records(vec, "Sign"):
        data, signature = r.bytes("Data"), r.bytes("Signature")
        assert loaded(private=r.bytes("Private")).sign(data) == signature, r.where
        verifier = loaded(public=r.bytes("Public"))
        assert verifier.verify(data, signature) is True, r.where
        assert verifier.verify(data + b"!", signature) is False, r.where
        damaged = bytes([signature[0] ^ 1]) + signature[1:]
        assert verifier.verify(data, damaged) is False, r.where
        # The block is PKCS #1 v1.5 type 1 around the bare SHA-1 digest.
        size, (n, e) = fields(r.bytes("Public"))
        peer = rsa.RSAPublicNumbers(e, n).public_key()
        assert peer.recover_data_from_signature(signature, padding.PKCS1v15(), None) == hashlib.sha1(data).digest()


def test_ciphertexts_of_the_reference(vec):
    for r in records(vec, "Encrypt"):
        key = loaded(private=r.bytes("Private"))
        key.set_iv(r.bytes("IVInput"))
        assert key.decrypt(r.bytes("Ciphertext")) == r.bytes("Data"), r.where


@pytest.mark.parametrize("size,chunk", [(64, 22), (128, 86)])
def test_encrypt_and_decrypt_with_labels(size, chunk):
    pair = orvocrypto.RSAKey.from_seeds(b"first seed", b"second seed", size)
    sender, receiver = loaded(public=pair.public_blob), loaded(private=pair.private_blob)
    for length in [0, 1, chunk, chunk + 1, 3 * chunk + 5]:
        data = bytes(i * 7 & 0xFF for i in range(length))
        sealed = sender.encrypt(data)
        assert len(sealed) == size * -(-length // chunk)
        assert sealed != sender.encrypt(data) or length == 0  # a fresh padding seed each time
        assert receiver.decrypt(bytearray(sealed)) == data
    sender.set_iv(b"label")
    sealed = sender.encrypt(b"for the label")
    with pytest.raises(orvocrypto.AlarmError, match="^Crypto System: Unable to decrypt data - RSA$"):
        receiver.decrypt(sealed)
    receiver.set_iv(memoryview(b"label"))
    assert receiver.decrypt(sealed) == b"for the label"


@pytest.fixture(scope="module")
def blobs():
    a = orvocrypto.RSAKey.from_seeds(b"a1", b"a2", 64)
    b = orvocrypto.RSAKey.from_seeds(b"b1", b"b2", 64)
    return a.public_blob, a.private_blob, b.public_blob, b.private_blob


MISSING_HALF = [
    ("sign without the private half", lambda k, pub, prv: loaded(public=pub).sign(b"x")),
    ("decrypt without the private half", lambda k, pub, prv: loaded(public=pub).decrypt(bytes(64))),
    ("encrypt without the public half", lambda k, pub, prv: loaded(private=prv).encrypt(b"x")),
    ("verify without the public half", lambda k, pub, prv: loaded(private=prv).verify(b"x", bytes(64))),
    ("sign with no key", lambda k, pub, prv: orvocrypto.RSAKey().sign(b"x")),
    # The key blob of a half the key does not hold, as the C library refuses it.
    ("public_blob of a new key", lambda k, pub, prv: orvocrypto.RSAKey().public_blob),
    ("private_blob of a new key", lambda k, pub, prv: orvocrypto.RSAKey().private_blob),
    ("private_blob of the public half", lambda k, pub, prv: loaded(public=pub).private_blob),
    ("public_blob of the private half", lambda k, pub, prv: loaded(private=prv).public_blob),
]


@pytest.mark.parametrize("action", [a for _, a in MISSING_HALF], ids=[n for n, _ in MISSING_HALF])
def test_missing_half(blobs, action):
    with pytest.raises(orvocrypto.AlarmError) as raised:
        action(None, blobs[0], blobs[1])
    assert str(raised.value) == "Crypto System: Invalid key - RSA"


def test_refused_blobs_leave_the_key_as_it_was(blobs):
    pub_a, prv_a, pub_b, prv_b = blobs
    key = loaded(public=pub_a, private=prv_a)
    cases = [
        ("public_blob", pub_a[:3], "Crypto System: Data is corrupted - RSA"),
        ("private_blob", prv_a[:-1], "Crypto System: Data is corrupted - XBlob"),  # after some numbers
        ("public_blob", pub_b, "Crypto System: Invalid key - RSA"),  # another key's half
        ("private_blob", prv_b, "Crypto System: Invalid key - RSA"),
    ]
    for prop, blob, text in cases:
        with pytest.raises(orvocrypto.AlarmError) as raised:
            setattr(key, prop, blob)
        assert str(raised.value) == text, prop
        assert (key.public_blob, key.private_blob) == (pub_a, prv_a), prop
    assert key.verify(b"data", key.sign(b"data"))
    # A fresh key takes the private half alone; a field running short changes nothing there either.
    half = orvocrypto.RSAKey()
    with pytest.raises(orvocrypto.AlarmError):
        half.private_blob = prv_a[:-1]
    with pytest.raises(orvocrypto.AlarmError, match="^Crypto System: Invalid key - RSA$"):
        half.private_blob  # still no private half


def test_keygen_keeps_the_label_and_argument_types():
    key = orvocrypto.RSAKey()
    key.set_iv(b"label")
    key.keygen(b"a1", b"a2", 64)
    other = loaded(private=key.private_blob)
    with pytest.raises(orvocrypto.AlarmError):
        other.decrypt(key.encrypt(b"x"))
    other.set_iv(b"label")
    assert other.decrypt(key.encrypt(b"x")) == b"x"
    for call in (
        lambda: orvocrypto.RSAKey.from_seeds("a", b"b", 64),
        lambda: orvocrypto.RSAKey.from_seeds(b"a", b"b", "64"),
        lambda: key.sign("text"),
        lambda: key.verify(b"x", None),
        lambda: key.set_iv(1),
        lambda: setattr(key, "public_blob", "00"),
    ):
        with pytest.raises(TypeError):
            call()
