"""The README's migration example, run on a table sealed and signed as the old
site did: so the example stays working."""
import base64
import csv
import re

import pytest
from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

from conftest import ROOT

import orvocrypto


def example():
    text = (ROOT / "README.md").read_text()
    section = text[text.index("### Moving stored data") :]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def seal(key_blob, value):
    aes = orvocrypto.Cipher("aes")  # a fresh object per value, as on the site
    aes.key = key_blob
    aes.mode = 2
    return base64.b64encode(aes.encrypt(value)).decode()


def test_migration_example(tmp_path, monkeypatch, capsys):
    aes = orvocrypto.Cipher("aes")
    aes.keygen(orvocrypto.random(32), 32)
    site = orvocrypto.RSAKey.from_seeds(b"site seed one", b"site seed two", 128)
    (tmp_path / "aes_key.hex").write_text(aes.key.hex().upper() + "\n")
    (tmp_path / "rsa_public.hex").write_text(site.public_blob.hex().upper() + "\n")
    cards = {"1": b"4111111111111111", "2": b"5500 0000 0000 0004 (longer than a block)", "3": b"x", "4": b"", "5": b"y"}
    rows = [(i, seal(aes.key, c), base64.b64encode(site.sign(c)).decode()) for i, c in cards.items()]
    rows[2] = (rows[2][0], rows[2][1], base64.b64encode(site.sign(b"z")).decode())  # a signature of other data
    rows[4] = (rows[4][0], base64.b64encode(bytes(15)).decode(), rows[4][2])  # cut short: not whole blocks
    with open(tmp_path / "export.csv", "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["id", "sealed_base64", "signature_base64"])
        out.writerows(rows)

    monkeypatch.chdir(tmp_path)
    scope = {}
    exec(compile(example(), "README.md", "exec"), scope)

    assert capsys.readouterr().out.splitlines() == [
        "3 signature does not verify",
        "5 Crypto System: Unable to decrypt data",
    ]
    with open(tmp_path / "resealed.csv", newline="") as f:
        result = list(csv.reader(f))
    assert result[0] == ["id", "nonce_b64", "ciphertext_b64"]
    assert [row[0] for row in result[1:]] == ["1", "2", "4"]
    gcm = AESGCM(scope["new_key"])
    for row_id, nonce, sealed in result[1:]:
        assert len(base64.b64decode(nonce)) == 12
        assert gcm.decrypt(base64.b64decode(nonce), base64.b64decode(sealed), row_id.encode()) == cards[row_id]
    with pytest.raises(InvalidTag):  # the id is bound in: a value moved to another row is refused
        row_id, nonce, sealed = result[1]
        gcm.decrypt(base64.b64decode(nonce), base64.b64decode(sealed), b"2")
