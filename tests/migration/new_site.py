"""The new site's side of the migration check, in the folder the old site's
script wrote (sealed.csv, plain.csv, aes_key.hex, rsa_public.hex).

Opens every sealed value with the orvocrypto package (each from a zero CBC
register, as the old site's fresh objects sealed them, the filler stripped),
checks its signature and compares it with the plain value the old site wrote;
reseals each value with AES-256-GCM under a new key (a random 12-byte nonce per
value, the row's id as associated data) into resealed.csv
(id,nonce_b64,ciphertext_b64), reads that back and checks every value. Also
checks that damage is noticed: a changed value fails its signature, another
row's signature fails, and a changed, moved or wrongly keyed GCM value is
refused. Prints one line per failure and exits with their count (at most 1).
"""

import base64
import csv
import os
import sys

from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

import orvocrypto

folder = sys.argv[1]
failures = 0


def fail(what: str) -> None:
    global failures
    failures += 1
    print("FAIL " + what)


def path(name: str) -> str:
    return os.path.join(folder, name)


with open(path("aes_key.hex")) as f:
    aes_key = bytes.fromhex(f.read())
site = orvocrypto.RSAKey()
with open(path("rsa_public.hex")) as f:
    site.public_blob = bytes.fromhex(f.read())
with open(path("plain.csv"), newline="") as f:
    expected = {row["id"]: base64.b64decode(row["plain_base64"]) for row in csv.DictReader(f)}

# The old column, opened and checked.
aes = orvocrypto.Cipher("aes")
aes.key = aes_key
aes.mode = "cbc"
plain: dict[str, bytes] = {}
signatures: dict[str, bytes] = {}
with open(path("sealed.csv"), newline="") as f:
    for row in csv.DictReader(f):
        aes.iv = bytes(aes.block_size)  # each value was sealed by a fresh object
        try:
            value = aes.strip_filler(aes.decrypt(base64.b64decode(row["sealed_base64"])))
        except orvocrypto.AlarmError as e:  # "Crypto System: Unable to decrypt data"
            fail(f"row {row['id']}: {e}")
            continue
        signature = base64.b64decode(row["signature_base64"])
        if value != expected.get(row["id"]):
            fail(f"row {row['id']}: opens as {value!r}, expected {expected.get(row['id'])!r}")
        if not site.verify(value, signature):
            fail(f"row {row['id']}: signature does not verify")
        plain[row["id"]] = value
        signatures[row["id"]] = signature
if plain.keys() != expected.keys():
    fail(f"rows {sorted(plain.keys() ^ expected.keys())} are in one file only")

# Damage the signatures notice.
ids = sorted(plain, key=int)
if len(ids) < 3:
    fail(f"only {len(ids)} rows opened")
    sys.exit(1)
first, second = ids[1], ids[2]
if site.verify(plain[first] + b"0", signatures[first]):
    fail("a changed value still verifies")
if site.verify(plain[first], signatures[second]):
    fail("another row's signature verifies")

# Resealed under AES-256-GCM, the row's id bound in as associated data.
new_key = AESGCM.generate_key(bit_length=256)
gcm = AESGCM(new_key)
with open(path("resealed.csv"), "w", newline="") as f:
    out = csv.writer(f, lineterminator="\n")
    out.writerow(["id", "nonce_b64", "ciphertext_b64"])
    for row_id, value in plain.items():
        nonce = os.urandom(12)
        out.writerow([row_id, base64.b64encode(nonce).decode(), base64.b64encode(gcm.encrypt(nonce, value, row_id.encode())).decode()])

with open(path("resealed.csv"), newline="") as f:
    resealed = list(csv.DictReader(f))
nonces = set()
for row in resealed:
    nonce = base64.b64decode(row["nonce_b64"])
    nonces.add(nonce)
    if len(nonce) != 12:
        fail(f"row {row['id']}: nonce of {len(nonce)} bytes")
    try:
        value = gcm.decrypt(nonce, base64.b64decode(row["ciphertext_b64"]), row["id"].encode())
    except InvalidTag:
        fail(f"row {row['id']}: resealed value refused")
        continue
    if value != expected.get(row["id"]):
        fail(f"row {row['id']}: resealed value reads back as {value!r}")
if [row["id"] for row in resealed] != list(plain) or len(nonces) != len(resealed):
    fail("resealed rows missing, out of order or with a repeated nonce")

# Damage GCM notices: a flipped bit, a value moved to another row, another key.
row = resealed[1]
nonce, sealed = base64.b64decode(row["nonce_b64"]), base64.b64decode(row["ciphertext_b64"])
for what, key, data, aad in [
    ("a changed ciphertext", new_key, bytes([sealed[0] ^ 1]) + sealed[1:], row["id"].encode()),
    ("a value moved to another row", new_key, sealed, resealed[2]["id"].encode()),
    ("another key", AESGCM.generate_key(bit_length=256), sealed, row["id"].encode()),
]:
    try:
        AESGCM(key).decrypt(nonce, data, aad)
        fail(what + " is accepted")
    except InvalidTag:
        pass

print(f"python: {len(plain)} rows opened, verified, resealed with AES-256-GCM and read back")
sys.exit(min(failures, 1))
