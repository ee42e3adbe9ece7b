#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets under tests/fuzz/corpus/<target>/.

The seeds are valid and damaged key blobs, sealed data and signatures taken
from the vector files under tests/data (published vectors and the independent
Python references), framed the way each target reads its input
(tests/fuzz/fuzz_support.h: Byte, U16, U32, Piece = U16 length + bytes, Rest).
Files written here are named seed-*; inputs the fuzzer found and that were
kept (scripts/fuzz --keep) sit next to them under their own names.

Usage: python3 tests/fuzz/make_corpus.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")
CORPUS = os.path.join(HERE, "corpus")


def read_vec(relative):
    """Records of a .vec file as dicts (with their section under '[section]')."""
    records, record, section = [], {}, ""
    with open(os.path.join(DATA, relative)) as f:
        for raw in f:
            line = raw.strip()
            if line.startswith("#"):
                continue
            if not line:
                if record:
                    records.append(record)
                record = {}
                continue
            if line.startswith("["):
                section = line.strip("[]")
                continue
            name, _, value = line.partition("=")
            record[name.strip()] = value.strip()
            record["[section]"] = section
    if record:
        records.append(record)
    return records


def h(text):
    return bytes.fromhex(text)


def u8(v):
    return bytes([v & 0xFF])


def u16(v):
    return struct.pack(">H", v)


def u32(v):
    return struct.pack(">I", v & 0xFFFFFFFF)


def piece(b):
    return u16(len(b)) + b


def write(target, seeds):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.startswith("seed-"):
            os.remove(os.path.join(folder, name))
    for name, data in seeds:
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)
    print(f"{target}: {len(seeds)} seeds")


def cipher_blobs():
    """(cipher index, name, key blob, plaintext) from the published vectors."""
    rows = []
    for r in read_vec("crypto/aes_fips197.vec"):
        key = h(r["Key"])
        rounds = {16: 10, 24: 12, 32: 14}[len(key)]
        rows.append((0, "aes_fips197_" + r["[section]"], u32(rounds) + key, h(r["Plaintext"])))
    for r in read_vec("crypto/aes_rounds.vec")[:3]:
        rows.append((0, "aes_rounds_" + r["Rounds"], u32(int(r["Rounds"])) + h(r["Key"]), h(r["Plaintext"])))
    for r in read_vec("crypto/twofish.vec"):
        if r.get("I") in ("1", "49") or r["[section]"] == "ECB_IVAL":
            key = h(r["Key"])
            rows.append((1, f"twofish_{r['[section]']}_{r.get('I', len(key))}", u32(len(key) // 8) + key, h(r["PT"])))
    for r in read_vec("crypto/blowfish.vec"):
        key = h(r["Key"])
        if r["[section]"] == "VariableKey" and len(key) in (1, 7, 8, 24):
            rows.append((2, f"blowfish_setkey_{len(key)}", u32(len(key)) + key, h(r["PT"])))
    cbc = [r for r in read_vec("crypto/blowfish.vec") if r["[section]"] == "CBC"][0]
    rows.append((2, "blowfish_cbc", u32(len(h(cbc["Key"]))) + h(cbc["Key"]), h(cbc["PT"])))
    for name, index in (("aes", 0), ("twofish", 1), ("blowfish", 2)):
        for r in read_vec(f"crypto/{name}_keygen.vec")[::8]:
            rows.append((index, f"{name}_keygen_{r['Length']}", h(r["Blob"]), h(r["Seed"])))
    return rows


def cipher_setkey():
    seeds = []
    for i, (index, name, blob, data) in enumerate(cipher_blobs()):
        mode, filler, split = i % 4, (0, 0x20, 0xFF)[i % 3], i % 3
        seeds.append((name, u8(index) + u8(mode) + u8(filler) + u8(split) + piece(b"seed") + piece(blob) +
                      u8(i % 8) + data + data[:i % 11]))
    # Damaged blobs: truncated, one byte too long, impossible counts.
    aes = u32(10) + bytes(range(16))
    for name, index, blob in (("aes_short", 0, aes[:4]), ("aes_long", 0, aes + b"\0"), ("aes_count15", 0,
                              u32(15) + bytes(32)), ("aes_count0", 0, u32(0) + bytes(32)),
                              ("twofish_k5", 1, u32(5) + bytes(40)), ("twofish_k1", 1, u32(1) + bytes(8)),
                              ("blowfish_57", 2, u32(57) + bytes(57)), ("blowfish_0", 2, u32(0)),
                              ("blowfish_huge", 2, u32(0xFFFFFFFF) + bytes(8)), ("empty", 0, b"")):
        seeds.append((name, u8(index) + u8(2) + u8(0) + u8(1) + piece(b"") + piece(blob) + u8(0) + bytes(40)))
    write("fuzz_cipher_setkey", seeds)


def rsa_rows():
    return [r for r in read_vec("rsa/rsa_keys.vec") if "Public" in r and "Private" in r]


def rsa_key_blobs():
    seeds = []
    for i, r in enumerate(rsa_rows()):
        section = r["[section]"].lower()
        pub, priv = h(r["Public"]), h(r["Private"])
        label = h(r.get("IVInput", "00000000"))
        data = h(r.get("Data", "")) or h(r.get("Seed1", ""))
        signature = h(r.get("Signature", ""))
        if "Ciphertext" in r:
            data = h(r["Ciphertext"])
        plan = (2 | 4) | (i & 1)
        seeds.append((f"{section}_{i}_{len(pub)}", u8(plan) + piece(pub) + piece(priv) + piece(label) +
                      piece(signature) + data))
    # One half only, and damaged forms of a 512-bit key.
    r = rsa_rows()[0]
    pub, priv = h(r["Public"]), h(r["Private"])
    damaged = {
        "public_only": (0, pub, b""),
        "private_only": (1, b"", priv),
        "public_truncated": (2, pub[:40], priv),
        "private_truncated": (3, pub, priv[:-5]),
        "size_huge": (2, b"\xff\xff\xff\xff" + pub[4:], priv),
        "size_small": (3, u32(20) + pub[4:], u32(20) + priv[4:]),
        "modulus_zero": (2, u32(64) + piece(b"")[0:0] + u32(1) + b"\0" + u32(3) + b"\1\0\1", b""),
        "modulus_even": (2, u32(64) + u32(64) + bytes(63) + b"\2" + u32(3) + b"\1\0\1", b""),
        "length_overlong": (2, u32(64) + u32(0xFFFFFFF0) + pub[8:], priv),
        "other_key": (2, h(rsa_rows()[1]["Public"]), priv),
        "short_blob": (0, b"\0\0\0", b""),
        "leading_zero_n": (3, u32(64) + u32(65) + b"\0" + pub[8:], priv),
    }
    for name, (plan, p, q) in damaged.items():
        seeds.append((name, u8(plan) + piece(p) + piece(q) + piece(b"") + piece(bytes(64)) + b"data"))
    write("fuzz_rsa_key_blobs", seeds)


def blob_framing():
    seeds = [
        ("insertblob_extract", u8(16) + u8(0) + piece(b"\xaa\xbb") + u8(0) + u8(4) + u32(0)),
        ("two_frames", u8(0) + u8(0) + piece(b"one") + u8(3) + u8(0) + piece(b"") + u8(0) + u8(4) + u32(7) +
         u8(4) + u32(11)),
        ("extract_short_frame", u8(4) + u8(3) + u32(3) + u8(2) + u32(4) + u8(0xAA) + u8(2) + u32(5) + u8(0xBB) +
         u8(4) + u32(0)),
        ("extract_past_end", u8(8) + u8(3) + u32(0x01020304) + u8(4) + u32(5) + u8(4) + u32(1) + u8(6) + u32(0)),
        ("extract_into_itself", u8(1) + u8(0) + piece(b"frame") + u8(5) + u8(5) + u32(0) + u8(5) + u32(0)),
        ("insert_middle", u8(2) + u8(1) + u32(0) + piece(b"abcdef") + u8(1) + u8(1) + u32(3) + piece(b"XY") +
         u8(2) + u8(2) + u32(0x80000000) + u8(0x33)),
        ("self_insert", u8(0) + u8(3) + u32(0xDEADBEEF) + u8(9) + u32(2) + u8(0x89) + u32(0) + u8(9) + u32(100)),
        ("xor_keep", u8(5) + u8(3) + u32(7) + u8(0x88) + piece(b"\xff\x00\xff\x00\xff") + u8(8) + piece(b"")),
        ("grow_reset", u8(0) + u8(10) + u8(0) + u8(0x8A) + u8(16) + u8(3) + u32(1) + u8(11) + u8(3)),
        ("capacity_zero_appends", u8(0) + u8(2) + u32(0) + u8(1) + u8(2) + u32(9) + u8(2) + u8(3) + u32(0)),
    ]
    for i, text in enumerate([b"10001", b"0A0b", b"", b"zz", b"g1", b"-1", b" 1", b"+f", b"1g", b"0x12",
                              b"abc\0def", b"\t\n", bytes(range(0x20, 0x80))]):
        seeds.append((f"fromhex_{i}", u8(i % 33) + u8(7) + piece(text) + u8(4) + u32(0)))
    # A public key blob as the RSA loader reads it, walked field by field.
    pub = h(rsa_rows()[0]["Public"])
    seeds.append(("rsa_public_fields", u8(0) + u8(1) + u32(0) + piece(pub) + u8(0) + u8(6) + u32(0) + u8(4) +
                  u32(4) + u8(4) + u32(8 + pub[7]) + u8(4) + u32(len(pub))))
    write("fuzz_blob_framing", seeds)


def digests():
    seeds = []
    for r in read_vec("digest/md5_rfc1321.vec"):
        text = r["Text"].encode()
        seeds.append((f"rfc1321_{len(text)}", u16(len(text) // 2) + u16(len(text)) + text))
    for r in read_vec("digest/crc32_catalogue.vec"):
        text = r["Text"].encode()
        seeds.append((f"crc_catalogue_{len(text)}", u16(3) + u16(36) + text))
    for r in read_vec("digest/expand_seed.vec")[::8]:
        seed = h(r["Seed"])
        seeds.append((f"expand_{len(seed)}_{r['N']}", u16(0) + u16(int(r["N"])) + seed))
    for n in (55, 56, 63, 64, 65, 127, 128, 1000, 4096):
        seeds.append((f"pattern_{n}", u16(n // 3) + u16(n) + bytes(i * 7 & 0xFF for i in range(n))))
    write("fuzz_digests", seeds)


def tool_inputs():
    seeds = []
    for i, (index, name, blob, data) in enumerate(cipher_blobs()[::2]):
        command = 1 + (i & 1)
        mode = (1, 2, 0x7, 0xFFFFFFFF)[i % 4]
        seeds.append((f"{('encrypt', 'decrypt')[i & 1]}_{name}",
                      u8(command) + u8(index) + u32(mode) + u32((0, 0x20, 0x1FF)[i % 3]) + piece(blob) + data * 2))
    for index, length in ((0, 0), (0, 24), (0, 0xFFFFFFFF), (1, 17), (1, 40), (2, 1), (2, 56), (2, 0x80000000)):
        seeds.append((f"keygen_{index}_{length:x}", u8(0) + u8(index) + u32(length) + b"seed text"))
    for i, r in enumerate(rsa_rows()[:9]):
        seeds.append((f"rsa_keygen_{i}", u8(3) + u32(0xFFFFFFFF) +
                      piece(h(r.get("Seed1", "61")) or b"a") + (h(r.get("Seed2", "62")) or b"b")))
    for i, r in enumerate(rsa_rows()):
        pub, priv = h(r["Public"]), h(r["Private"])
        label = h(r.get("IVInput", "00000000"))
        if "Ciphertext" in r:
            seeds.append((f"rsa_decrypt_{i}", u8(5) + u8(1) + piece(priv) + piece(label) + h(r["Ciphertext"])))
            seeds.append((f"rsa_encrypt_{i}", u8(4) + u8(1) + piece(pub) + piece(label) + h(r["Data"])))
        if "Signature" in r:
            seeds.append((f"rsa_sign_{i}", u8(6) + piece(priv) + h(r["Data"])))
            seeds.append((f"rsa_verify_{i}", u8(7) + piece(pub) + piece(h(r["Signature"])) + h(r["Data"])))
    write("fuzz_tool_inputs", seeds)


def tool_commands():
    # Commands in the order the tool lists them (its --help).
    keygen, encrypt, decrypt, md5, sha1, crc32, random, rsa_keygen, rsa_encrypt, rsa_decrypt, rsa_sign, rsa_verify = range(12)
    cipher_kind = (0, 3, 6)  # positional kinds naming aes, twofish, blowfish

    def number(v, form=0):
        return u8(form) + u32(v)

    def data(b):
        return u8(2) + piece(b)

    seeds = []
    for index, length in ((0, 16), (1, 0xFFFFFFFF), (2, 56)):
        seeds.append((f"keygen_{index}", u8(keygen) + u8(0b011) + piece(b"seed text") + number(length, index) +
                      u8(1) + u8(1) + u8(cipher_kind[index])))
    for i, (index, name, blob, plain) in enumerate(cipher_blobs()[::3]):
        mode = (number(0, 3), number(0, 4), number(2, 2), number(7, 1))[i % 4]
        for command in (encrypt, decrypt):
            seeds.append((f"{('encrypt', 'decrypt')[command - encrypt]}_{name}",
                          u8(command) + u8(0b0111) + piece(blob) + mode + number(0x20) + u8(i & 1) + u8(2) +
                          u8(cipher_kind[index]) + data(plain * 2)))
    for command, label in ((md5, "md5"), (sha1, "sha1"), (crc32, "crc32")):
        seeds.append((label, u8(command) + u8(0) + u8(0) + u8(1) + data(b"123456789")))
    seeds.append(("random", u8(random) + u8(0) + u8(1) + u8(1) + u8(1) + u32(16)))
    for i, r in enumerate(rsa_rows()[:4]):
        seeds.append((f"rsa_keygen_{i}", u8(rsa_keygen) + u8(0b11111) + piece(h(r.get("Seed1", "61")) or b"a") +
                      piece(h(r.get("Seed2", "62")) or b"b") + number(64) + u8(0) + u8(0)))
    for i, r in enumerate(rsa_rows()):
        pub, priv = h(r["Public"]), h(r["Private"])
        label = h(r.get("IVInput", "00000000"))
        if "Ciphertext" in r:
            seeds.append((f"rsa_decrypt_{i}", u8(rsa_decrypt) + u8(0b011) + piece(priv) + piece(label) + u8(0) +
                          u8(1) + data(h(r["Ciphertext"]))))
            seeds.append((f"rsa_encrypt_{i}", u8(rsa_encrypt) + u8(0b011) + piece(pub) + piece(label) + u8(0) +
                          u8(1) + data(h(r["Data"]))))
        if "Signature" in r:
            seeds.append((f"rsa_sign_{i}", u8(rsa_sign) + u8(0b01) + piece(priv) + u8(0) + u8(1) + data(h(r["Data"]))))
            seeds.append((f"rsa_verify_{i}", u8(rsa_verify) + u8(0b11) + piece(pub) + piece(h(r["Signature"])) +
                          u8(0) + u8(1) + data(h(r["Data"]))))
    write("fuzz_tool_commands", seeds)


def blob_codecs():
    # Mode 0x80: one byte per character; mode 0: big-endian UTF-16 code units.
    # Base64 and hex texts of RFC 4648, section 10, with damaged variants.
    rfc4648 = [b"", b"f", b"fo", b"foo", b"foob", b"fooba", b"foobar"]
    import base64
    texts = []
    for data in rfc4648:
        b64 = base64.b64encode(data)
        texts += [b64, b64.lower(), b64 + b"=", b" " + b64[:2] + b"\r\n" + b64[2:],
                  data.hex().encode(), data.hex().upper().encode() + b" 0", b" ".join([data.hex()[i:i + 2].encode() for i in range(0, len(data.hex()), 2)])]
    texts += [b"Zm9=", b"Zg==Zg==", b"Z===", b"Zh==", b"Zm9vYg=x", b"0g", b"0 1", b"\tAB\nCD\x0b\x0cEF", b"abcdefABCDEF0123456789"]
    utf8 = ["", "A", "\u00e9t\u00e9", "\u20ac", "\U0001F600", "\ud7ff\ue000\uffff", "\U0010FFFF"]
    seeds = []
    for i, t in enumerate(texts):
        seeds.append((f"ascii_{i}", u8(0x80) + t))
    for i, t in enumerate(utf8):
        seeds.append((f"utf8_{i}", u8(0x80) + t.encode("utf-8")))
        seeds.append((f"utf16_{i}", u8(0) + t.encode("utf-16-be")))
    for i, bad in enumerate([b"\xc0\xaf", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\x80", b"\xe2\x82", b"\xd8\x00\x00A", b"\xdc\x00"]):
        seeds.append((f"bad_{i}", u8(0x80 if i < 5 else 0) + bad))
    write("fuzz_blob_codecs", seeds)


def dispatch():
    # Class, Blob count and hex texts, then calls: member, flags, argument count,
    # named form, wants-result, arguments (form byte + value).
    def call(member, flags, args, named=0, want=1):
        return u8(member) + u8(flags) + u8(len(args)) + u8(named) + u8(want) + b"".join(args)
    blob = lambda i: u8(9) + u8(i)          # VT_DISPATCH from the pool
    ref_blob = lambda i: u8(0x89) + u8(i)   # VT_BYREF|VT_VARIANT around it
    i4 = lambda v: u8(4) + u32(v)
    text = lambda t: u8(8) + piece(t)
    key16 = b"000102030405060708090A0B0C0D0E0F"
    blobs = lambda *hexes: u8(len(hexes)) + b"".join(piece(h(x.decode())) for x in hexes)
    seeds = []
    for c in range(3):  # AES, Twofish, Blowfish: KeyGen, Key, Encrypt, Decrypt, Filler, Mode
        seeds.append((f"sym_{c}_roundtrip", u8(c) + blobs(b"00112233", key16) +
                      call(0, 1, [blob(0), i4(16)]) + call(2, 1, [ref_blob(0)]) + call(3, 1, [blob(3)]) + call(1, 2, [])))
        seeds.append((f"sym_{c}_putkey", u8(c) + blobs(key16, b"ff" * 20) +
                      call(1, 8, [blob(0)], named=1) + call(5, 4, [i4(2)], named=1) + call(4, 4, [text(b"7")], named=1) +
                      call(2, 1, [blob(1)]) + call(2, 1, [u8(1)]) + call(0, 1, [blob(0), i4(0x7FFFFFFF)])))
        seeds.append((f"sym_{c}_odd", u8(c) + blobs(b"7a7a") + call(0xC0, 3, [i4(1)]) + call(0xC1, 1, []) +
                      call(0xC8, 1, [u8(0)]) + b"\x7f\xff\xff\xff" + call(2, 1, [u8(10) + u8(0)]) +
                      call(2, 1, [u8(1)], named=2) + u32(0xFFFFFFFE)))
    # RSA: SetIV, KeyGen, PublicKey, PrivateKey, Encrypt, Decrypt, Sign, Verify
    seeds.append(("rsa_keygen", u8(3) + blobs(b"0102", b"0304", b"48656c6c6f") +
                  call(1, 1, [blob(0), blob(1), i4(64)]) + call(2, 2, []) + call(3, 2, []) +
                  call(4, 1, [blob(2)]) + call(5, 1, [blob(5)]) + call(6, 1, [blob(2)]) + call(7, 1, [blob(2), blob(7)])))
    seeds.append(("rsa_bad", u8(3) + blobs(b"00", b"") + call(2, 4, [blob(0)], named=1) + call(3, 8, [blob(1)], named=1) +
                  call(0, 1, [u8(1)]) + call(4, 1, [blob(0)]) + call(7, 1, [blob(0), u8(0x80)])))
    # Misc: MD5, SHA1, Random, CRC32, InsertLongToBlob, ExtractLongFromBlob, InsertBlobToBlob, ExtractBlobFromBlob
    seeds.append(("misc_digests", u8(4) + blobs(b"616263", b"") +
                  call(0, 1, [blob(0)]) + call(1, 1, [ref_blob(1)]) + call(3, 3, [blob(0)]) + call(2, 1, [i4(16)])))
    for n, pos in enumerate((0, 3, 4, 0xFFFFFFFF, 0x80000000, 100)):
        seeds.append((f"misc_positions_{n}", u8(4) + blobs(b"00112233", b"aabb") +
                      call(4, 1, [blob(0), i4(pos), i4(0x01020304)]) + call(5, 3, [blob(0), i4(pos)]) +
                      call(6, 1, [blob(0), i4(pos), blob(1)]) + call(7, 1, [ref_blob(1), i4(pos)]) +
                      call(6, 1, [blob(0), i4(pos), blob(0)])))
    seeds.append(("misc_forms", u8(4) + blobs(b"01") + call(3, 1, [u8(10) + u8(0)]) + call(3, 1, [u8(1)]) +
                  call(3, 1, [text(b"abc")]) + call(2, 1, [u8(6) + b"\x40\x30\x00\x00\x00\x00\x00\x00"]) +
                  call(2, 1, [u8(7) + u8(1)]) + call(4, 1, [blob(1), u8(2) + u16(2), u8(5) + u32(7)], named=3)))
    write("fuzz_dispatch", seeds)


def blob_dispatch():
    # Blob count, then operations: op and Blob index; an Invoke (op < 0xD0)
    # continues with member, flags, argument count, named form, options and the
    # arguments (form byte + value); a vtable operation (op >= 0xD0) with its values.
    import base64
    METHOD, GET, PUT, PUTREF = 1, 2, 4, 8
    HEX, B64, TEXT, SIZE, BYTES, CLEAR, LOAD, SAVE = range(8)  # member picks: number - 1

    def inv(member, flags, args, named=0, want=1, blob=0, tail=b""):
        member = member if isinstance(member, bytes) else u8(member)  # bytes: 0xD0 and up with a U32
        return u8(0) + u8(blob) + member + u8(flags) + u8(len(args)) + u8(named) + u8(want) + b"".join(args) + tail

    def put(member, arg, blob=0):      # o.P = v: PUT with the named DISPID_PROPERTYPUT
        return inv(member, PUT, [arg], named=1, want=0, blob=blob)

    def get(member, blob=0):           # x = o.P
        return inv(member, METHOD | GET, [], blob=blob)

    def vt(op, blob=0, tail=b""):
        return u8(0xD0 + op) + u8(blob) + tail

    text = lambda t: u8(4) + piece(t)
    wide = lambda t: u8(5) + piece(t.encode("utf-16-be"))
    i4 = lambda v: u8(2) + u32(v)
    blob_arg = lambda i: u8(6) + u8(i)
    byref = lambda form_and_value: u8(form_and_value[0] | 0x80) + form_and_value[1:]
    lower_index = {0: 0, 1: 2, -1: 3, 5: 4, -5: 5, 0x7FFFFFFF: 6, -0x80000000: 7, 0x7FFFFFF0: 8, 0x7FFFFFFE: 9}

    def bound(lower):
        return u8(lower_index[lower]) if lower in lower_index else u8(0xF0) + u32(lower)

    def array(data, lower=0, element=0, dims=1, more=(), as_bytes=False, form=8):
        # element: 0 VT_UI1, 3 VT_I1, 4 VT_VARIANT, 5 VT_I2, 6 VT_BSTR, 7 VT_I4
        shape = element | (dims << 3)
        out = u8(form | (0x20 if as_bytes else 0)) + u8(shape)
        if dims:
            out += bound(lower) + piece(data)
            for lb, n in more:
                out += bound(lb) + u8(n)
        return out

    seeds = [
        ("hex_roundtrip", u8(0) + put(HEX, text(b"00ff10")) + get(HEX) + get(SIZE) + get(BYTES)),
        ("hex_spaces_case", u8(0) + put(HEX, text(b" 0a Bc\t\r\nDE ")) + get(HEX) + put(HEX, text(b"abc")) +
         put(HEX, text(b"0g")) + get(B64)),
        ("text_utf16", u8(0) + put(TEXT, wide("h\u00e9llo \u20ac\U0001F600")) + get(TEXT) + get(HEX) +
         put(TEXT, u8(5) + piece(b"\xd8\x00\x00A")) + get(TEXT)),
        ("text_bad_utf8", u8(0) + vt(3, tail=piece(b"\xc0\xaf\xed\xa0\x80") + u8(0)) + get(TEXT) + get(B64)),
        ("clear_size_odd", u8(1) + put(HEX, text(b"0102")) + inv(CLEAR, METHOD, []) + get(SIZE) +
         inv(SIZE, PUT, [i4(3)], named=1) + inv(0xC0, GET, []) + inv(0xC1, METHOD, [i4(1)]) +
         inv(0xC8, METHOD, []) + inv(u8(0xFF) + u32(0x7FFFFFFF), METHOD, []) +
         inv(u8(0xFF) + u32(0x00010006), METHOD, []) + inv(0xC4, PUT, [i4(1)], named=2, tail=u32(0xFFFFFFFF))),
        ("bytes_from_result", u8(2) + put(HEX, text(b"deadbeef")) + get(BYTES) +
         put(BYTES, u8(11) + u8(0), blob=1) + get(HEX, blob=1) + inv(BYTES, METHOD, [u8(11) + u8(0)], blob=2)),
        ("bytes_blob_value", u8(1) + put(BYTES, blob_arg(1)) + put(HEX, blob_arg(0)) + put(BYTES, u8(6) + u8(0xFF)) +
         inv(BYTES, PUTREF, [blob_arg(1)], named=1) + put(BYTES, u8(7) + u8(0))),
        ("vtable_lock_write", u8(1) + vt(0) + vt(0) + vt(3, tail=piece(b"abc") + u8(0)) + get(HEX) + vt(1) +
         vt(4, tail=b"\x10") + vt(5, tail=b"\x01") + vt(6, tail=b"\x05") + get(B64) + vt(1) + vt(1) +
         vt(2) + vt(7, tail=b"\x02") + vt(7, tail=b"\x04") + vt(8, tail=piece(b"bYtEs") + b"\x01") +
         vt(8, tail=piece(b"Nope") + b"\x00") + vt(9, tail=b"\x00")),
        ("files_confined", u8(1) + put(HEX, text(b"0102030405")) + inv(SAVE, METHOD, [text(b"x")], tail=b"\x00") +
         inv(LOAD, METHOD, [text(b"x")], blob=1, tail=b"\x00") + get(HEX, blob=1) +
         inv(LOAD, METHOD, [i4(7)], tail=b"\x01") + inv(SAVE, METHOD, [text(b"")], tail=b"\x02") +
         inv(LOAD, METHOD, [u8(0)], tail=b"\x03") + inv(SAVE, METHOD, [u8(0)], tail=b"\xff")),
    ]
    for i, data in enumerate([b"", b"f", b"fo", b"foo", b"foob", b"fooba", b"foobar"]):  # RFC 4648, section 10
        b64 = base64.b64encode(data)
        seeds.append((f"base64_rfc4648_{i}", u8(0) + put(B64, text(b64)) + get(B64) + get(HEX) +
                      put(B64, text(b64[:-1] + b" ")) + put(B64, text(b64.lower()))))
    forms = {
        "ui1": array(b"\x00\x01\xfe\xff"),
        "ui1_lower1": array(b"abc", lower=1),
        "ui1_lower_neg": array(b"abcdef", lower=-5),
        "ui1_lower_max": array(b"\x01\x02", lower=0x7FFFFFFF),
        "ui1_lower_near_max": array(b"\x01\x02\x03\x04", lower=0x7FFFFFFE),
        "ui1_lower_min": array(b"\x01\x02", lower=-0x80000000),
        "ui1_lower_odd": array(b"\x09" * 40, lower=0x7FFFFFE0),
        "ui1_empty": array(b""),
        "ui1_empty_lower_max": array(b"", lower=0x7FFFFFFF),
        "null_parray": array(b"", dims=0),
        "two_dims": array(b"\x01\x02", dims=2, more=[(0, 2)]),
        "three_dims_one": array(b"\x01", dims=3, more=[(0, 1), (5, 1)]),
        "variants": array(b"\x01\x02", element=4),
        "variants_as_bytes": array(b"\x01\x02", element=4, as_bytes=True),
        "i1_as_bytes": array(b"\x80\x7f", element=3, as_bytes=True),
        "i1": array(b"\x80\x7f", element=3),
        "i2_as_bytes": array(b"\x01\x02", element=5, as_bytes=True),
        "bstr": array(b"\x01\x02", element=6),
        "byref": array(b"\x0a\x0b", form=10),
        "byref_null_ref": array(b"\x0a", form=10, as_bytes=True),
        "byref_null_array": array(b"", dims=0, form=10),
        "variant_ref": byref(array(b"\x0c\x0d", lower=3)),
        "variant_ref_byref": byref(array(b"\x0e", form=10)),
        "empty": u8(0),
        "null": u8(1),
        "variant_ref_null": u8(0x81),
        "text": text(b"0102"),
        "number": i4(258),
        "error": u8(12),
        "byref_text": u8(14) + piece(b"ff"),
    }
    for name, arg in forms.items():
        seeds.append((f"bytes_{name}", u8(0) + put(HEX, text(b"aabb")) + put(BYTES, arg) + get(BYTES) + get(HEX) +
                      inv(BYTES, PUTREF, [arg], named=1) + inv(BYTES, METHOD, [arg]) + inv(HEX, PUT, [arg], named=1)))
    write("fuzz_blob_dispatch", seeds)


def capi():
    """fuzz_capi: operation sequences over the C library's calls."""
    def op(number, *fields):
        return u8(number) + b"".join(fields)

    splits = bytes([1, 15, 16, 17, 0, 39, 3, 5, 31, 2] * 8)
    seeds = []
    for index, name, blob, data in cipher_blobs()[::3]:
        body = op(1, piece(blob)) + op(2, u8(2)) + op(3, u16(0x20))
        for flags in (0, 2, 4, 8):
            body += op(4, u8(flags), piece(data * 3 + data[:5])) + splits[:12]
        body += op(4, u8(1 | 4), piece(data * 4)) + splits[:10] + op(5, u8(0), piece(data + b"x")) + op(5, u8(3), piece(data * 2))
        seeds.append((f"cipher_{name}", u8(index) + body))
    seeds.append(("keygen_stream", u8(1) + op(0, piece(b"seed"), u8(24)) + op(4, u8(2), piece(bytes(range(100)))) +
                  splits + op(12) + op(2, u8(3)) + op(3, u16(280)) + op(4, u8(5), piece(bytes(range(37)))) + splits))
    seeds.append(("no_key", u8(3) + op(4, u8(0), piece(b"abc")) + op(5, u8(1), piece(bytes(16))) + op(13, u8(0))))
    seeds.append(("framing", u8(0) + op(6, u8(4), u16(0), u8(0), piece(b"packed")) + op(6, u8(0), u16(2), u32(0xA0B0C0D0)) +
                  op(6, u8(2), u16(0), u8(1), u16(1), u16(5)) + op(6, u8(2), u16(3), u8(0), piece(b"rec")) +
                  op(6, u8(3), u16(0)) + op(6, u8(1), u16(1)) + op(6, u8(4), u16(3), u8(1)) + op(6, u8(3), u16(9))))
    for i, r in enumerate(rsa_rows()[:4]):
        pub, priv = h(r["Public"]), h(r["Private"])
        seeds.append((f"rsa_blobs_{i}_{len(pub)}", u8(0) + op(8, u8(0), piece(pub)) + op(8, u8(1), piece(priv)) +
                      op(9, u8(i), piece(b"message to seal and sign" * 2)) + splits[:8]))
    seeds.append(("rsa_seeds", u8(2) + op(7, piece(b"alpha"), piece(b"beta"), u8(64)) +
                  op(9, u8(1), piece(bytes(range(60)))) + splits + op(9, u8(2), piece(b"")) +
                  op(8, u8(0), piece(b"\0\0\0\x40")) + op(9, u8(0), piece(b"x"))))
    seeds.append(("digests", u8(0) + op(10, u8(0), piece(b"123456789")) + b"\x02\x03" +
                  op(10, u8(1), piece(bytes(range(200)))) + splits + op(10, u8(2), piece(b"abc")) + op(11, u8(33)) +
                  b"".join(op(13, u8(k)) for k in range(8))))
    write("fuzz_capi", seeds)


if __name__ == "__main__":
    cipher_setkey()
    rsa_key_blobs()
    blob_framing()
    digests()
    tool_inputs()
    tool_commands()
    blob_codecs()
    dispatch()
    blob_dispatch()
    capi()
