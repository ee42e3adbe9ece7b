from typing import Any, Generic, Literal, TypeVar, Union, overload

# Any object with the buffer protocol and contiguous memory.
Buffer = Union[bytes, bytearray, memoryview]

_Get = TypeVar("_Get", covariant=True)
_Set = TypeVar("_Set", contravariant=True)

class _Property(Generic[_Get, _Set]):
    """A property whose setter takes more than its getter gives (mode takes 'cbc',
    key blobs take any Buffer): written as a descriptor, which every mypy reads
    so, where a property with a wider setter is read by the getter's type alone
    before mypy 1.16."""

    @overload
    def __get__(self, obj: None, owner: Any) -> _Property[_Get, _Set]: ...
    @overload
    def __get__(self, obj: object, owner: Any) -> _Get: ...
    def __set__(self, obj: object, value: _Set) -> None: ...

__all__ = ["AlarmError", "Cipher", "RSAKey", "crc32", "md5", "random", "sha1"]

class AlarmError(ValueError):
    """A failure of the cryptographic core; str() is the system's text, e.g.
    'Crypto System: Invalid key - AES'."""

class Cipher:
    """A block cipher with the members of the symmetric scripting objects."""

    def __init__(self, name: Literal["aes", "twofish", "blowfish"] | str) -> None: ...
    def keygen(self, seed: Buffer, length: int) -> None:
        """Makes the key from the seed's bytes alone (same seed and length, same key)."""
    # The key blob: a 4-byte big-endian count, then the key bytes.
    key: _Property[bytes, Buffer]
    # 1 (ECB, the default) or 2 (CBC); set also as "ecb" or "cbc" in any case.
    mode: _Property[Literal[1, 2], int | str]
    # The padding byte, 0 to 255 (the low 8 bits of the int set).
    filler: _Property[int, int]
    def encrypt(self, data: Buffer) -> bytes:
        """Pads with the filler to whole blocks and enciphers in the mode; CBC
        chains on from the previous call."""
    def decrypt(self, data: Buffer) -> bytes:
        """Deciphers whole blocks; the padding stays."""
    @property
    def iv(self) -> bytes:
        """The chaining block (block_size bytes): the CBC IV of the next call;
        zeros on a new cipher."""
    @iv.setter
    def iv(self, iv: Buffer) -> None: ...
    def strip_filler(self, data: Buffer) -> bytes:
        """The data less at most block_size - 1 trailing filler bytes (plain
        data ending in the filler byte loses those bytes too)."""
    def encrypt_update(self, data: Buffer) -> bytes:
        """Feeds a piece to the encryption stream; the whole blocks ready so far."""
    def encrypt_final(self) -> bytes:
        """Ends the encryption stream: the padded rest (b'' or one block)."""
    def decrypt_update(self, data: Buffer) -> bytes:
        """Feeds a piece to the decryption stream; the whole blocks ready so far."""
    def decrypt_final(self) -> None:
        """Ends the decryption stream; AlarmError when a partial block is left."""
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
    # The key blobs of the halves; reading a half the key does not hold raises
    # AlarmError "Crypto System: Invalid key - RSA".
    public_blob: _Property[bytes, Buffer]
    private_blob: _Property[bytes, Buffer]
    def set_iv(self, data: Buffer) -> None:
        """Sets the label bound into every encrypted block (default: four zero bytes)."""
    def encrypt(self, data: Buffer) -> bytes: ...
    def decrypt(self, data: Buffer) -> bytes: ...
    def sign(self, data: Buffer) -> bytes:
        """One signature block over the SHA-1 digest of the data."""
    def verify(self, data: Buffer, signature: Buffer) -> bool:
        """True when the signature matches; a wrong signature is never an error."""
    def update(self, data: Buffer) -> None:
        """Feeds a piece of the data that sign_final or verify_final covers."""
    def sign_final(self) -> bytes:
        """sign() of everything fed since the last final; the feed starts anew."""
    def verify_final(self, signature: Buffer) -> bool:
        """verify() of everything fed since the last final; the feed starts anew."""

def md5(data: Buffer) -> bytes: ...
def sha1(data: Buffer) -> bytes: ...
def crc32(data: Buffer) -> int: ...
def random(n: int) -> bytes: ...
