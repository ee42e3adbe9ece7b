"""The README's migration example, run on a table sealed and signed as the old
site did: so the example stays working."""
import base64
import csv
import re

from conftest import ROOT

import orvocrypto


def example():
    text = (ROOT / "README.md").read_text()
    section = text[text.index("### Moving a column of sealed values off the old site") :]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def seal(key_blob, value):
    aes = orvocrypto.Cipher("aes")  # a fresh object per value, as on the site
    aes.key = key_blob
    aes.mode = 2
    return base64.b64encode(aes.encrypt(value)).decode()


def test_migration_example(tmp_path, monkeypatch):
    aes = orvocrypto.Cipher("aes")
    aes.keygen(orvocrypto.random(32), 32)
    site = orvocrypto.RSAKey.from_seeds(b"site seed one", b"site seed two", 128)
    (tmp_path / "aes.key").write_bytes(aes.key)
    (tmp_path / "site_public.key").write_bytes(site.public_blob)
    cards = {"1": b"4111111111111111", "2": b"5500 0000 0000 0004 (longer than a block)", "3": b"x", "4": b"", "5": b"y"}
    rows = [(i, seal(aes.key, c), base64.b64encode(site.sign(c)).decode()) for i, c in cards.items()]
    rows[2] = (rows[2][0], rows[2][1], base64.b64encode(site.sign(b"z")).decode())  # a signature of other data
    rows[4] = (rows[4][0], base64.b64encode(bytes(15)).decode(), rows[4][2])  # cut short: not whole blocks
    with open(tmp_path / "customers.csv", "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["id", "card", "signature"])
        out.writerows(rows)

    monkeypatch.chdir(tmp_path)
    exec(compile(example(), "README.md", "exec"), {})

    with open(tmp_path / "customers_plain.csv", newline="") as f:
        result = list(csv.reader(f))
    assert result == [
        ["id", "card", "signature"],
        ["1", "4111111111111111", "valid"],
        ["2", "5500 0000 0000 0004 (longer than a block)", "valid"],
        ["3", "x", "INVALID"],
        ["4", "", "valid"],
        ["5", "", "Crypto System: Unable to decrypt data"],
    ]
