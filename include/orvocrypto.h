/*
 * orvocrypto.h: the C interface of liborvocrypto.so.1.
 *
 * The same key blobs, sealed data and signatures as the scripting objects
 * and the orvocrypto tool: AES, Twofish and Blowfish (ECB and CBC) with keys
 * from seeds, RSA key pairs from two seeds, MD5 (RFC 1321), SHA-1
 * (FIPS 180-1), CRC-32, random bytes and the 4-byte framing of packed blobs.
 *
 * Conventions (the same for every call):
 *
 * - Every call that can fail returns an orvo_status; ORVO_OK is 0. On a
 *   failure orvo_last_error() gives the text, for the product's own failures
 *   the full alarm text ("Crypto System: Invalid key - AES"). The text belongs
 *   to the calling thread and to its last call: a call that succeeds leaves
 *   "" there. No C++ exception leaves the library.
 * - Bytes go in as (pointer, size); the pointer may be NULL when the size is
 *   0. Bytes come out in an orvo_buffer the caller provides, initialised to
 *   ORVO_BUFFER_INIT (or left by an earlier call): on success the library
 *   wipes and frees what the buffer held and puts the result there (data may
 *   be NULL for 0 bytes); on failure the buffer is left as it was. Release it
 *   with orvo_buffer_free, which wipes the bytes before freeing them.
 * - Handles (orvo_cipher, orvo_rsa, orvo_md5, orvo_sha1) are opaque, made by
 *   *_new and released by *_free; *_free(NULL) does nothing. A handle is used
 *   by one thread at a time; different handles may be used by different
 *   threads at once. One exception: the calls that take a const orvo_rsa*
 *   (encrypt, decrypt, sign, verify, size, get_public_key, get_private_key)
 *   may run on one handle from any number of threads at once, provided no
 *   call that takes it as orvo_rsa* (a change) runs meanwhile. Handles wipe
 *   their keys and state when freed.
 * - Input and output may share memory. The bytes a call reads may lie in the
 *   bytes of the orvo_buffer it writes, all of them or in part: every call
 *   that takes bytes and gives an orvo_buffer reads all of its input before it
 *   frees the buffer's old bytes, so the result is that of the call on a copy
 *   of the input (marked "input may lie in ..." below). Two exceptions are
 *   refused with ORVO_E_INVALID_ARGUMENT, nothing changed:
 *   orvo_extract_frame with `out` the blob itself or holding the blob's bytes,
 *   and orvo_extract_long with `value` inside the blob's bytes. A number or
 *   flag a call writes (*crc, *valid) may lie in its input bytes: it
 *   is written last. An orvo_buffer must own its bytes alone (two orvo_buffer
 *   structures holding the same bytes are freed twice) and must not itself lie
 *   in bytes that the call frees.
 * - Key blobs, seeds, labels, RSA data and signatures, and framed records
 *   larger than 4 GiB - 1 bytes are refused with ORVO_E_INVALID_ARGUMENT; the
 *   cipher calls, the digests and signing take any amount.
 *
 * ABI: the exported names all begin with orvo_ (symbol version ORVOCRYPTO_1);
 * the status numbers, the mode numbers and the orvo_buffer layout never change
 * within SONAME liborvocrypto.so.1. C89/C99 and C++ compilers can use this header.
 */
#ifndef ORVOCRYPTO_H
#define ORVOCRYPTO_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ORVO_API __attribute__((visibility("default")))
#else
#define ORVO_API
#endif

/* Status codes: stable numbers. */
typedef enum orvo_status {
  ORVO_OK = 0,
  /* A NULL handle or pointer, an unknown cipher name, a mode other than 1
     or 2, a filler above 255, a position past the end of a buffer, input too
     large for a whole-buffer call. Nothing was changed. */
  ORVO_E_INVALID_ARGUMENT = 1,
  /* "Crypto System: Invalid key ...": no key, a missing RSA half, a key
     blob of another RSA key, RSA numbers that cannot work. */
  ORVO_E_INVALID_KEY = 2,
  /* "Crypto System: Unable to decrypt data ...": a length that is not whole
     blocks, damaged RSA data, a wrong RSA key or label. */
  ORVO_E_DECRYPT = 3,
  /* "Crypto System: Data is corrupted ...": a malformed key blob, a frame
     that runs past the end ("- XBlob"). */
  ORVO_E_CORRUPT = 4,
  /* A call that does not fit the handle's state: a whole-buffer cipher call
     or a stream in the other direction while a cipher stream is open. */
  ORVO_E_STATE = 5,
  /* Memory ran out; the handle and the output are as they were. */
  ORVO_E_NOMEM = 6,
  /* An unexpected internal failure. */
  ORVO_E_INTERNAL = 7
} orvo_status;

/* Cipher modes: the numbers of the Mode property. */
#define ORVO_MODE_ECB 1
#define ORVO_MODE_CBC 2

typedef struct orvo_buffer {
  uint8_t* data;
  size_t size;
} orvo_buffer;

#define ORVO_BUFFER_INIT {NULL, 0}

typedef struct orvo_cipher orvo_cipher;
typedef struct orvo_rsa orvo_rsa;
typedef struct orvo_md5 orvo_md5;
typedef struct orvo_sha1 orvo_sha1;

/* ---- Library ---------------------------------------------------------- */

/* The library's version, "MAJOR.MINOR.PATCH". */
ORVO_API const char* orvo_version(void);
/* The text of the calling thread's last failure, "" after a success. Valid
   until the thread's next call into the library. */
ORVO_API const char* orvo_last_error(void);
/* The enumerator's name ("ORVO_E_DECRYPT"), or "unknown status". */
ORVO_API const char* orvo_status_name(orvo_status status);

/* ---- Buffers ---------------------------------------------------------- */

/* Wipes and frees the bytes, and sets the buffer to {NULL, 0}. NULL: nothing. */
ORVO_API void orvo_buffer_free(orvo_buffer* buffer);
/* Replaces the buffer's bytes by a copy of `bytes` (for the framing calls);
   input may lie in the buffer's own bytes. */
ORVO_API orvo_status orvo_buffer_set(orvo_buffer* buffer, const void* bytes, size_t size);

/* ---- Symmetric ciphers ------------------------------------------------ */

/* "aes", "twofish" or "blowfish" (any case). A new cipher has no key, mode
   ECB, filler 0 and an all-zero chaining register. */
ORVO_API orvo_status orvo_cipher_new(const char* name, orvo_cipher** cipher);
ORVO_API void orvo_cipher_free(orvo_cipher* cipher);
/* 16 for AES and Twofish, 8 for Blowfish. */
ORVO_API orvo_status orvo_cipher_block_size(const orvo_cipher* cipher, size_t* block_size);

/* A key made only from the seed's bytes, as KeyGen makes it; `length` is the
   requested key length in bytes, rounded by the cipher's rule. */
ORVO_API orvo_status orvo_cipher_generate_key(orvo_cipher* cipher, const void* seed, size_t seed_size,
                                              uint32_t length);
/* The key blob. ORVO_E_INVALID_KEY without a key. */
ORVO_API orvo_status orvo_cipher_get_key(const orvo_cipher* cipher, orvo_buffer* key_blob);
/* Loads a key blob of this cipher; ORVO_E_CORRUPT for a wrong one, the earlier key stays. */
ORVO_API orvo_status orvo_cipher_set_key(orvo_cipher* cipher, const void* key_blob, size_t size);
/* ORVO_MODE_ECB or ORVO_MODE_CBC (others: ORVO_E_INVALID_ARGUMENT). A change
   of mode does not reset the chaining register. */
ORVO_API orvo_status orvo_cipher_set_mode(orvo_cipher* cipher, int mode);
ORVO_API orvo_status orvo_cipher_get_mode(const orvo_cipher* cipher, int* mode);
/* The padding byte, 0 to 255. */
ORVO_API orvo_status orvo_cipher_set_filler(orvo_cipher* cipher, unsigned filler);
ORVO_API orvo_status orvo_cipher_get_filler(const orvo_cipher* cipher, unsigned* filler);
/* Zeroes the chaining register and drops an open stream: the state of a new
   cipher with the same key, mode and filler (for independent CBC messages). */
ORVO_API orvo_status orvo_cipher_reset(orvo_cipher* cipher);

/* The chaining register (the CBC initialisation vector of the next call):
   set_iv loads one block (iv_size must be the block size, else
   ORVO_E_INVALID_ARGUMENT) and refuses an open stream (ORVO_E_STATE);
   get_iv gives the block-size bytes the register holds now (during a stream,
   the last whole block fed). The register is the one the calls above carry
   along: orvo_cipher_reset zeroes it, a change of mode keeps it. `iv` may lie
   anywhere, also in a buffer get_iv filled. */
ORVO_API orvo_status orvo_cipher_set_iv(orvo_cipher* cipher, const void* iv, size_t iv_size);
ORVO_API orvo_status orvo_cipher_get_iv(const orvo_cipher* cipher, orvo_buffer* iv);
/* *kept_size = the size of the data without its trailing filler: at most
   block size - 1 trailing bytes equal to the cipher's filler are left out
   (the padding encryption added to a last partial block). Sealed data
   records no length, so plain data that itself ends in filler bytes loses
   them too; use it where the plain data never ends in the filler byte (text
   under filler 0). The data is only read (truncate an orvo_buffer by setting
   its size); `kept_size` may lie in the data, it is written last. The time
   taken does not depend on the bytes. */
ORVO_API orvo_status orvo_cipher_strip_filler(const orvo_cipher* cipher, const void* data, size_t size,
                                              size_t* kept_size);

/* Encrypt pads with the filler to whole blocks (none when the length is
   already whole blocks) and enciphers in the mode; decrypt deciphers whole
   blocks and removes no padding (ORVO_E_DECRYPT for a partial block). The
   chaining register carries from call to call as in the scripting objects:
   after any encryption it holds the last ciphertext block, after an ECB
   decryption the last plaintext block, after a CBC decryption the last
   ciphertext block. Without a key: ORVO_E_INVALID_KEY. Input may lie in
   out's bytes (in place: data = out->data). */
ORVO_API orvo_status orvo_cipher_encrypt(orvo_cipher* cipher, const void* data, size_t size, orvo_buffer* out);
ORVO_API orvo_status orvo_cipher_decrypt(orvo_cipher* cipher, const void* data, size_t size, orvo_buffer* out);

/* Streams: pieces of any size; each update gives the whole blocks ready so
   far, encrypt_final the padded rest (0 or 1 block). The bytes are those of
   one orvo_cipher_encrypt / orvo_cipher_decrypt over the whole input.
   decrypt_final gives no bytes; it fails with ORVO_E_DECRYPT when a partial
   block is left. A failed update consumes nothing; final closes the stream
   either way. While a stream is open, the whole-buffer calls and a stream in
   the other direction fail with ORVO_E_STATE. An update's input may lie in
   out's bytes (for instance the output of the previous update). */
ORVO_API orvo_status orvo_cipher_encrypt_update(orvo_cipher* cipher, const void* data, size_t size,
                                                orvo_buffer* out);
ORVO_API orvo_status orvo_cipher_encrypt_final(orvo_cipher* cipher, orvo_buffer* out);
ORVO_API orvo_status orvo_cipher_decrypt_update(orvo_cipher* cipher, const void* data, size_t size,
                                                orvo_buffer* out);
ORVO_API orvo_status orvo_cipher_decrypt_final(orvo_cipher* cipher);

/* ---- RSA -------------------------------------------------------------- */

/* A key with no half present and the default label (four zero bytes). */
ORVO_API orvo_status orvo_rsa_new(orvo_rsa** rsa);
ORVO_API void orvo_rsa_free(orvo_rsa* rsa);
/* A key pair from two seeds; `size` in bytes of modulus: up to 64 gives 512
   bits, up to 128 gives 1024 bits, above that 2048 bits. Equal seeds give two
   consecutive primes, a modulus that one step of Fermat's method factors; the
   derivation stays so that stored keys can be regenerated, so pass two
   different random seeds (the command-line tool refuses equal ones). */
ORVO_API orvo_status orvo_rsa_generate_key(orvo_rsa* rsa, const void* seed1, size_t seed1_size, const void* seed2,
                                           size_t seed2_size, uint32_t size);
/* The modulus size in bytes (64, 128 or 256), 0 without a key. */
ORVO_API orvo_status orvo_rsa_size(const orvo_rsa* rsa, size_t* size);
/* The key blobs. ORVO_E_INVALID_KEY when that half is not present. */
ORVO_API orvo_status orvo_rsa_get_public_key(const orvo_rsa* rsa, orvo_buffer* key_blob);
ORVO_API orvo_status orvo_rsa_get_private_key(const orvo_rsa* rsa, orvo_buffer* key_blob);
/* Loads a key blob. Once both halves are present, only blobs of the same key
   are accepted (ORVO_E_INVALID_KEY). A failure leaves the key as it was. */
ORVO_API orvo_status orvo_rsa_set_public_key(orvo_rsa* rsa, const void* key_blob, size_t size);
ORVO_API orvo_status orvo_rsa_set_private_key(orvo_rsa* rsa, const void* key_blob, size_t size);
/* The label (SetIV) bound into every encryption block; decryption needs the same. */
ORVO_API orvo_status orvo_rsa_set_label(orvo_rsa* rsa, const void* label, size_t size);
/* Encryption in chunks of size - 42 bytes, one block of `size` bytes each,
   with a fresh random padding seed; decryption of whole blocks, each below
   the modulus (another block is ORVO_E_DECRYPT). A key whose numbers are
   longer than its size allows is ORVO_E_INVALID_KEY at once. Input may lie
   in out's bytes. */
ORVO_API orvo_status orvo_rsa_encrypt(const orvo_rsa* rsa, const void* data, size_t size, orvo_buffer* out);
ORVO_API orvo_status orvo_rsa_decrypt(const orvo_rsa* rsa, const void* data, size_t size, orvo_buffer* out);
/* One signature block over the SHA-1 digest of the data; input may lie in
   the signature buffer's bytes. A private half whose CRT numbers do not
   agree with n and d (a damaged blob) signs nothing: ORVO_E_INVALID_KEY;
   with the public half present the signature is also verified before it is
   returned. */
ORVO_API orvo_status orvo_rsa_sign(const orvo_rsa* rsa, const void* data, size_t size, orvo_buffer* signature);
/* *valid = 1 when the signature matches, else 0 (ORVO_OK either way; a
   missing public half is ORVO_E_INVALID_KEY). The signature's value counts:
   extra leading zero bytes are accepted, a value at or above n is not. */
ORVO_API orvo_status orvo_rsa_verify(const orvo_rsa* rsa, const void* data, size_t size, const void* signature,
                                     size_t signature_size, int* valid);
/* Signing and verifying data fed piece by piece: update hashes a piece;
   sign_final / verify_final use the digest of everything fed since the last
   final and start anew (also when they fail, for instance for want of the
   key half); the results equal orvo_rsa_sign / orvo_rsa_verify. */
ORVO_API orvo_status orvo_rsa_update(orvo_rsa* rsa, const void* data, size_t size);
ORVO_API orvo_status orvo_rsa_sign_final(orvo_rsa* rsa, orvo_buffer* signature);
ORVO_API orvo_status orvo_rsa_verify_final(orvo_rsa* rsa, const void* signature, size_t signature_size, int* valid);

/* ---- Digests, checksum, random ---------------------------------------- */

/* MD5 (16 bytes) and SHA-1 (20 bytes), fed piece by piece; final gives the
   digest of everything fed since the start or the last final. */
ORVO_API orvo_status orvo_md5_new(orvo_md5** md5);
ORVO_API void orvo_md5_free(orvo_md5* md5);
ORVO_API orvo_status orvo_md5_update(orvo_md5* md5, const void* data, size_t size);
ORVO_API orvo_status orvo_md5_final(orvo_md5* md5, orvo_buffer* digest);
ORVO_API orvo_status orvo_sha1_new(orvo_sha1** sha1);
ORVO_API void orvo_sha1_free(orvo_sha1* sha1);
ORVO_API orvo_status orvo_sha1_update(orvo_sha1* sha1, const void* data, size_t size);
ORVO_API orvo_status orvo_sha1_final(orvo_sha1* sha1, orvo_buffer* digest);
/* The digest of one buffer; input may lie in the digest buffer's bytes. */
ORVO_API orvo_status orvo_md5_digest(const void* data, size_t size, orvo_buffer* digest);
ORVO_API orvo_status orvo_sha1_digest(const void* data, size_t size, orvo_buffer* digest);
/* CRC-32 (ISO-HDLC, as zlib's crc32): start with *crc = 0; after each call
   *crc is the CRC-32 of everything fed so far ("123456789" gives 0xCBF43926). */
ORVO_API orvo_status orvo_crc32_update(uint32_t* crc, const void* data, size_t size);
/* `count` random bytes from the generator behind the Random member. */
ORVO_API orvo_status orvo_random(size_t count, orvo_buffer* out);

/* ---- Framing of packed blobs ------------------------------------------ */

/* The packing of the Misc object, on a buffer of the library's: a position
   from 0 to the buffer's size (size appends; beyond it
   ORVO_E_INVALID_ARGUMENT, nothing changed). */
/* Inserts the 4 bytes of value, most significant first. */
ORVO_API orvo_status orvo_insert_long(orvo_buffer* blob, size_t position, uint32_t value);
/* Reads 4 bytes (most significant first) at position and removes them; where
   fewer than 4 follow, the missing bytes read as 0 and those present go.
   `value` inside the blob's bytes: ORVO_E_INVALID_ARGUMENT. */
ORVO_API orvo_status orvo_extract_long(orvo_buffer* blob, size_t position, uint32_t* value);
/* Inserts a record: 4-byte big-endian length, then the bytes (which may lie
   in the blob itself). */
ORVO_API orvo_status orvo_insert_frame(orvo_buffer* blob, size_t position, const void* bytes, size_t size);
/* The record's bytes at position into `out`; the record is removed. A record
   that runs past the end: ORVO_E_CORRUPT ("... - XBlob"), nothing changed.
   `out` the blob itself, or holding the same bytes: ORVO_E_INVALID_ARGUMENT. */
ORVO_API orvo_status orvo_extract_frame(orvo_buffer* blob, size_t position, orvo_buffer* out);

#ifdef __cplusplus
}
#endif

#endif /* ORVOCRYPTO_H */
