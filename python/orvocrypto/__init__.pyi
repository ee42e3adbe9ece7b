from typing import Literal, Union

# Any object with the buffer protocol and contiguous memory.
Buffer = Union[bytes, bytearray, memoryview]

__all__ = ["AlarmError", "Cipher", "RSAKey", "crc32", "md5", "random", "sha1"]

class AlarmError(ValueError):
    """A failure of the cryptographic core; str() is the system's text, e.g.
    'Crypto System: Invalid key - AES'."""

class Cipher:
    """A block cipher with the members of the symmetric scripting objects."""

    def __init__(self, name: Literal["aes", "twofish", "blowfish"] | str) -> None: ...
    def keygen(self, seed: Buffer, length: int) -> None:
        """Makes the key from the seed's bytes alone (same seed and length, same key)."""
    @property
    def key(self) -> bytes:
        """The key blob: a 4-byte big-endian count, then the key bytes."""
    @key.setter
    def key(self, blob: Buffer) -> None: ...
    @property
    def mode(self) -> Literal[1, 2]:
        """1 (ECB, the default) or 2 (CBC)."""
    @mode.setter
    def mode(self, mode: Literal[1, 2, "ecb", "cbc", "ECB", "CBC"] | int | str) -> None: ...
    @property
    def filler(self) -> int:
        """The padding byte, 0 to 255 (the low 8 bits of the int set)."""
    @filler.setter
    def filler(self, filler: int) -> None: ...
    def encrypt(self, data: Buffer) -> bytes:
        """Pads with the filler to whole blocks and enciphers in the mode; CBC
        chains on from the previous call."""
    def decrypt(self, data: Buffer) -> bytes:
        """Deciphers whole blocks; the padding stays."""
    @property
    def name(self) -> Literal["aes", "twofish", "blowfish"]: ...
    @property
    def block_size(self) -> Literal[8, 16]: ...

class RSAKey:
    """An RSA key pair, or either half of one, with the members of the RSA
    scripting object."""

    def __init__(self) -> None: ...
    @staticmethod
    def from_seeds(seed1: Buffer, seed2: Buffer, size: int) -> RSAKey:
        """A key pair derived from the two seeds alone; size in bytes (64, 128, 256 classes).

        Equal seeds give two consecutive primes, a modulus that one step of
        Fermat's method factors; the derivation stays so that stored keys can
        be regenerated, so pass two different random seeds."""
    def keygen(self, seed1: Buffer, seed2: Buffer, size: int) -> None: ...
    @property
    def public_blob(self) -> bytes: ...
    @public_blob.setter
    def public_blob(self, blob: Buffer) -> None: ...
    @property
    def private_blob(self) -> bytes: ...
    @private_blob.setter
    def private_blob(self, blob: Buffer) -> None: ...
    def set_iv(self, data: Buffer) -> None:
        """Sets the label bound into every encrypted block (default: four zero bytes)."""
    def encrypt(self, data: Buffer) -> bytes: ...
    def decrypt(self, data: Buffer) -> bytes: ...
    def sign(self, data: Buffer) -> bytes:
        """One signature block over the SHA-1 digest of the data."""
    def verify(self, data: Buffer, signature: Buffer) -> bool:
        """True when the signature matches; a wrong signature is never an error."""

def md5(data: Buffer) -> bytes: ...
def sha1(data: Buffer) -> bytes: ...
def crc32(data: Buffer) -> int: ...
def random(n: int) -> bytes: ...
