"""Uses of the package that the type stub must accept, and some it must refuse
(each marked `# type: ignore[...]`: under mypy --strict an ignore that is no
longer needed is itself an error). Checked by mypy in the python stage of
scripts/test, with the README's Python examples; never run."""
import orvocrypto


def accepted(data: bytes) -> int:
    c = orvocrypto.Cipher("aes")
    c.mode = "cbc"  # the README's form
    c.mode = "ECB"
    c.mode = 2
    c.key = bytearray(20)
    c.key = memoryview(b"\0\0\0\x0a" + bytes(16))
    c.filler = 32
    mode: int = c.mode
    blob: bytes = c.key
    k = orvocrypto.RSAKey.from_seeds(b"one", b"two", 128)
    k.public_blob = bytearray(k.public_blob)
    public: bytes = k.public_blob
    return mode + len(blob) + len(public) + len(c.encrypt(data)) + orvocrypto.crc32(data)


def refused() -> None:
    c = orvocrypto.Cipher("aes")
    c.mode = 1.5  # type: ignore[assignment]
    c.key = "00000010"  # type: ignore[assignment]
    c.filler = b"\0"  # type: ignore[assignment]
    text: str = c.mode  # type: ignore[assignment]
    orvocrypto.md5("text")  # type: ignore[arg-type]
