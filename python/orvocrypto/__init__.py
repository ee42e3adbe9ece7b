"""Key blobs, sealed data and signatures of the orvocrypto scripting objects, from Python.

The classes and functions behave as the scripting objects' members do (the
README's "Scripting reference"), with bytes in place of Blob objects:

    Cipher(name)           the AES, Twofish and Blowfish objects
    RSAKey()               the RSA object; RSAKey.from_seeds(seed1, seed2, size)
    md5, sha1, crc32       the Misc digests
    random(n)              Misc.Random
    AlarmError             raised with the system's text ("Crypto System: ...")

Data arguments take any bytes-like object (bytes, bytearray, memoryview);
other types raise TypeError. Long operations release the GIL; each object
serialises its own calls, so one object may be shared between threads (a CBC
cipher shared that way chains the calls in whatever order they run).
"""
from ._core import AlarmError, Cipher, RSAKey, crc32, md5, random, sha1

__all__ = ["AlarmError", "Cipher", "RSAKey", "crc32", "md5", "random", "sha1"]
