"""md5, sha1, crc32 and random against the published vectors and hashlib/zlib."""
import array
import hashlib
import zlib

import pytest
from conftest import run_in_threads

import orvocrypto


def pattern(n):
    return bytes((i * 7 + 3) % 251 for i in range(n))


def test_published_digests(vec):
    for r in vec("digest/md5_rfc1321.vec"):
        assert orvocrypto.md5(r["Text"].encode()).hex() == r["MD5"], r.where
    for r in vec("digest/sha1_fips180_1.vec"):
        assert orvocrypto.sha1(r["Text"].encode() * r.number("Repeat")).hex() == r["SHA1"], r.where
    for r in vec("digest/crc32_catalogue.vec"):
        assert orvocrypto.crc32(r["Text"].encode()) == r.number("CRC32"), r.where


def test_pattern_digests_match_the_file_and_hashlib(vec):
    for r in vec("digest/pattern_digests.vec"):
        data = pattern(r.number("Len"))
        assert orvocrypto.md5(data).hex() == r["MD5"] == hashlib.md5(data).hexdigest(), r.where
        assert orvocrypto.sha1(data).hex() == r["SHA1"] == hashlib.sha1(data).hexdigest(), r.where
        assert orvocrypto.crc32(data) == r.number("CRC32") == zlib.crc32(data), r.where


# Above the size from which the GIL is released, from several threads at once.
def test_large_inputs_from_threads():
    inputs = [pattern(1_000_003 + i) for i in range(4)]
    results = {}

    def work(i):
        data = inputs[i]
        results[i] = (orvocrypto.md5(data), orvocrypto.sha1(data), orvocrypto.crc32(data))

    run_in_threads(work, 4)
    for i, data in enumerate(inputs):
        assert results[i] == (hashlib.md5(data).digest(), hashlib.sha1(data).digest(), zlib.crc32(data))


@pytest.mark.parametrize(
    "form",
    [bytes, bytearray, memoryview, lambda b: array.array("B", b), lambda b: memoryview(b"xx" + b + b"yy")[2:-2]],
    ids=["bytes", "bytearray", "memoryview", "array", "slice"],
)
def test_bytes_like_inputs(form):
    data = pattern(300)
    assert orvocrypto.md5(form(data)) == hashlib.md5(data).digest()
    assert orvocrypto.sha1(form(data)) == hashlib.sha1(data).digest()
    assert orvocrypto.crc32(form(data)) == zlib.crc32(data)


@pytest.mark.parametrize("function", [orvocrypto.md5, orvocrypto.sha1, orvocrypto.crc32])
@pytest.mark.parametrize("bad", ["abc", 12, None, [1, 2], memoryview(b"abcdef")[::2]], ids=repr)
def test_non_bytes_raise_type_error(function, bad):
    with pytest.raises(TypeError):
        function(bad)


def test_random():
    assert orvocrypto.random(0) == b""
    a, b = orvocrypto.random(1000), orvocrypto.random(1000)
    assert len(a) == len(b) == 1000 and a != b
    assert len(set(a)) > 200  # 1000 uniform bytes take well over 200 values
    with pytest.raises(ValueError):
        orvocrypto.random(-1)
    with pytest.raises(ValueError):
        orvocrypto.random(2**31)
    for bad in (1.0, "8", None):
        with pytest.raises(TypeError):
            orvocrypto.random(bad)
