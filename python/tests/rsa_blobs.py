"""RSA key blobs as the tests read and load them."""
import orvocrypto


def fields(blob):
    """The size and the number records of a key blob."""
    size, at, numbers = int.from_bytes(blob[:4], "big"), 4, []
    while at < len(blob):
        n = int.from_bytes(blob[at : at + 4], "big")
        numbers.append(int.from_bytes(blob[at + 4 : at + 4 + n], "big"))
        at += 4 + n
    return size, numbers


def loaded(public=None, private=None):
    """A key with the given halves loaded, the private one first."""
    key = orvocrypto.RSAKey()
    if private is not None:
        key.private_blob = private
    if public is not None:
        key.public_blob = public
    return key
