// Fuzz target: the C library (include/orvocrypto.h) driven through its calls
// only, as a program in another language drives it.
//
// Input: Byte cipher name (0 AES, 1 Twofish, 2 Blowfish, 3 an unknown name,
// then AES), then operations until the input is used up, each a Byte (its
// number modulo kOps) and its own fields:
//   0 key from a seed: Piece seed (64), Byte length
//   1 key blob: Piece blob (80)
//   2 mode: Byte (0 to 3)          3 filler: U16 (modulo 300)
//   4 stream: Byte flags (bit 0 decrypt, bits 1-2 where the pieces lie:
//     apart, as the whole output buffer, inside it; bit 3 a call out of
//     turn while the stream is open), Piece data (1024), then one Byte per
//     piece (its length modulo 40) until the data is fed
//   5 whole-buffer call with the input in the output: Byte flags (bit 0
//     decrypt, bit 1 inside rather than the whole buffer), Piece data (512)
//   6 framing: Byte call, U16 position, then the call's fields (a U32
//     value; a Byte source and a Piece, or a U16 offset and U16 length of
//     the blob's own bytes)
//   7 RSA key pair from seeds: Piece seed1 (32), Piece seed2 (32), Byte size
//     (modulo 65: the 512-bit class)
//   8 RSA key blob: Byte (bit 0 private), Piece blob (700)
//   9 RSA operations: Byte flags (where the input lies), Piece data (300),
//     then one Byte per piece of the signing stream
//  10 digests and CRC-32: Byte flags, Piece data (1024), Byte per piece
//  11 random bytes: Byte count    12 reset    13 misuse: Byte which
//  14 chaining register and filler: Piece iv (20), Piece data (40)
//
// Two cipher handles receive the same keys, modes and fillers; one runs
// every stream, the other the whole-buffer call over the same bytes, and
// their results and statuses must agree, as must their chaining registers
// afterwards. Checks besides: every call that takes bytes and writes a
// buffer gives the same result when its input lies in that buffer's own
// bytes (whole or in part); the framing calls agree with a model of the
// packed blob; an RSA key made from seeds seals and opens, signs and
// verifies, and signs the same piece by piece as at once; a key blob that
// fails to load leaves the key as it was; statuses are the documented ones
// and the error text is empty exactly after a success.
//
// RSA work stays small: keys from seeds take their primes from
// table_primes.h; every operation runs on every key (the library bounds each
// number by the key's size), Encrypt only where it draws few padding seeds
// (rsa_work.h, read from the blobs the handle gives back), at most three
// blocks each way.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "digest/test_hooks.h"
#include "orvocrypto.h"
#include "rsa/rsa_key.h"
#include "rsa/test_hooks.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/rsa_work.h"
#include "tests/fuzz/table_primes.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kOps = 15;

uint32_t g_counter = 0;

void CounterEntropy(uint8_t* out, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(g_counter++ * 167u + 13u);
}
uint32_t FixedClock() { return 1700000000u; }

// Every call: a status of the header, and the error text empty exactly on success.
orvo_status Checked(orvo_status s) {
  FUZZ_CHECK(s >= ORVO_OK && s <= ORVO_E_INTERNAL);
  FUZZ_CHECK(s != ORVO_E_INTERNAL && s != ORVO_E_NOMEM);
  FUZZ_CHECK((orvo_last_error()[0] == '\0') == (s == ORVO_OK));
  return s;
}

Bytes Of(const orvo_buffer& b) { return b.size == 0 ? Bytes() : Bytes(b.data, b.data + b.size); }

bool Same(const orvo_buffer& b, const Bytes& bytes) {
  return b.size == bytes.size() && (bytes.empty() || std::memcmp(b.data, bytes.data(), bytes.size()) == 0);
}

// An owned orvo_buffer.
struct Buffer {
  orvo_buffer b = ORVO_BUFFER_INIT;
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { orvo_buffer_free(&b); }
  void Set(const Bytes& bytes) { FUZZ_CHECK(Checked(orvo_buffer_set(&b, bytes.data(), bytes.size())) == ORVO_OK); }
};

// Where a call's input lies: apart from the output buffer, as the output
// buffer's bytes, or inside them with other bytes around.
enum class Place { kApart, kWhole, kInside };

// Runs call(input, n, out) with the input placed as asked; `out` is the
// buffer the call writes.
template <typename Call>
orvo_status Placed(Place place, const Bytes& input, orvo_buffer* out, Call call) {
  if (place == Place::kApart) return call(input.data(), input.size(), out);
  Bytes around;
  size_t at = 0;
  if (place == Place::kInside) {
    at = input.size() % 7 + 1;
    around.assign(at, 0xA5);
  }
  around.insert(around.end(), input.begin(), input.end());
  if (place == Place::kInside) around.insert(around.end(), 3, 0x5A);
  FUZZ_CHECK(Checked(orvo_buffer_set(out, around.data(), around.size())) == ORVO_OK);
  return call(out->data + at, input.size(), out);
}

Place PlaceOf(uint8_t bits) {
  switch (bits % 3) {
    case 1: return Place::kWhole;
    case 2: return Place::kInside;
    default: return Place::kApart;
  }
}

struct Ciphers {
  orvo_cipher* streaming = nullptr;  // runs the streams
  orvo_cipher* whole = nullptr;      // runs the whole-buffer calls
  size_t block = 16;

  ~Ciphers() {
    orvo_cipher_free(streaming);
    orvo_cipher_free(whole);
  }

  // Both handles the state of new ones with the same key, mode and filler.
  void Reset() {
    FUZZ_CHECK(Checked(orvo_cipher_reset(streaming)) == ORVO_OK);
    FUZZ_CHECK(Checked(orvo_cipher_reset(whole)) == ORVO_OK);
  }

  // The two handles' chaining registers agree: one block through each.
  void SameChaining() {
    Buffer a, b;
    const uint8_t block_bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const orvo_status sa = Checked(orvo_cipher_encrypt(streaming, block_bytes, block, &a.b));
    const orvo_status sb = Checked(orvo_cipher_encrypt(whole, block_bytes, block, &b.b));
    FUZZ_CHECK(sa == sb);
    FUZZ_CHECK(Same(a.b, Of(b.b)));
  }
};

void KeyFromSeed(Ciphers& c, orvo::fuzz::Input& in) {
  const Bytes seed = in.Piece(64);
  const uint32_t length = in.Byte();
  FUZZ_CHECK(Checked(orvo_cipher_generate_key(c.streaming, seed.data(), seed.size(), length)) == ORVO_OK);
  FUZZ_CHECK(Checked(orvo_cipher_generate_key(c.whole, seed.data(), seed.size(), length)) == ORVO_OK);
}

void KeyBlob(Ciphers& c, orvo::fuzz::Input& in) {
  const Bytes blob = in.Piece(80);
  Buffer before, after, other;
  const orvo_status had = Checked(orvo_cipher_get_key(c.whole, &before.b));
  const orvo_status s = Checked(orvo_cipher_set_key(c.whole, blob.data(), blob.size()));
  FUZZ_CHECK(s == ORVO_OK || s == ORVO_E_CORRUPT);
  if (s != ORVO_OK) {
    // The earlier key stays.
    FUZZ_CHECK(Checked(orvo_cipher_get_key(c.whole, &after.b)) == had);
    if (had == ORVO_OK) FUZZ_CHECK(Same(after.b, Of(before.b)));
    return;
  }
  FUZZ_CHECK(Checked(orvo_cipher_set_key(c.streaming, blob.data(), blob.size())) == ORVO_OK);
  FUZZ_CHECK(Checked(orvo_cipher_get_key(c.whole, &after.b)) == ORVO_OK);
  FUZZ_CHECK(Checked(orvo_cipher_get_key(c.streaming, &other.b)) == ORVO_OK);
  FUZZ_CHECK(Same(after.b, Of(other.b)));
}

void Mode(Ciphers& c, orvo::fuzz::Input& in) {
  const int mode = in.Byte() % 4;
  const orvo_status want = mode == ORVO_MODE_ECB || mode == ORVO_MODE_CBC ? ORVO_OK : ORVO_E_INVALID_ARGUMENT;
  FUZZ_CHECK(Checked(orvo_cipher_set_mode(c.streaming, mode)) == want);
  FUZZ_CHECK(Checked(orvo_cipher_set_mode(c.whole, mode)) == want);
  int got = 0;
  FUZZ_CHECK(Checked(orvo_cipher_get_mode(c.whole, &got)) == ORVO_OK);
  FUZZ_CHECK(got == ORVO_MODE_ECB || got == ORVO_MODE_CBC);
  if (want == ORVO_OK) FUZZ_CHECK(got == mode);
}

void Filler(Ciphers& c, orvo::fuzz::Input& in) {
  const unsigned filler = in.U16() % 300;
  const orvo_status want = filler <= 255 ? ORVO_OK : ORVO_E_INVALID_ARGUMENT;
  FUZZ_CHECK(Checked(orvo_cipher_set_filler(c.streaming, filler)) == want);
  FUZZ_CHECK(Checked(orvo_cipher_set_filler(c.whole, filler)) == want);
  unsigned got = 0;
  FUZZ_CHECK(Checked(orvo_cipher_get_filler(c.whole, &got)) == ORVO_OK);
  if (want == ORVO_OK) FUZZ_CHECK(got == filler);
}

// The IV goes into both handles' registers (refused, nothing changed, unless
// it is one block) and reads back; the filler measured off the data agrees
// with a count of its trailing filler bytes, at most a block less one.
void IvAndFiller(Ciphers& c, orvo::fuzz::Input& in) {
  const Bytes iv = in.Piece(20);
  const Bytes data = in.Piece(40);
  Buffer before, after;
  FUZZ_CHECK(Checked(orvo_cipher_get_iv(c.whole, &before.b)) == ORVO_OK);
  FUZZ_CHECK(before.b.size == c.block);
  const orvo_status want = iv.size() == c.block ? ORVO_OK : ORVO_E_INVALID_ARGUMENT;
  FUZZ_CHECK(Checked(orvo_cipher_set_iv(c.streaming, iv.data(), iv.size())) == want);
  FUZZ_CHECK(Checked(orvo_cipher_set_iv(c.whole, iv.data(), iv.size())) == want);
  FUZZ_CHECK(Checked(orvo_cipher_get_iv(c.streaming, &after.b)) == ORVO_OK);
  FUZZ_CHECK(Same(after.b, want == ORVO_OK ? iv : Of(before.b)));
  unsigned filler = 0;
  size_t kept = 0, model = data.size();
  FUZZ_CHECK(Checked(orvo_cipher_get_filler(c.whole, &filler)) == ORVO_OK);
  while (model > 0 && data.size() - model < c.block - 1 && data[model - 1] == filler) --model;
  FUZZ_CHECK(Checked(orvo_cipher_strip_filler(c.whole, data.data(), data.size(), &kept)) == ORVO_OK);
  FUZZ_CHECK(kept == model);
}

// A stream over the data in pieces equals the whole-buffer call.
void Stream(Ciphers& c, orvo::fuzz::Input& in) {
  const uint8_t flags = in.Byte();
  const bool decrypt = (flags & 1) != 0;
  const Place place = PlaceOf(flags >> 1);
  const bool outOfTurn = (flags & 8) != 0;
  const Bytes data = in.Piece(1024);

  Buffer once;
  const orvo_status wholeStatus = Checked(decrypt ? orvo_cipher_decrypt(c.whole, data.data(), data.size(), &once.b)
                                                  : orvo_cipher_encrypt(c.whole, data.data(), data.size(), &once.b));

  Bytes streamed;
  Buffer out;
  orvo_status s = ORVO_OK;
  size_t at = 0;
  bool first = true;
  while ((at < data.size() || first) && s == ORVO_OK) {
    size_t n = in.Left() > 0 ? in.Byte() % 40 : data.size() - at;
    n = std::min(n, data.size() - at);
    const Bytes piece(data.begin() + at, data.begin() + at + n);
    s = Checked(Placed(place, piece, &out.b, [&](const void* p, size_t size, orvo_buffer* o) {
      return decrypt ? orvo_cipher_decrypt_update(c.streaming, p, size, o)
                     : orvo_cipher_encrypt_update(c.streaming, p, size, o);
    }));
    if (s != ORVO_OK) break;
    FUZZ_CHECK(out.b.size % c.block == 0);
    streamed.insert(streamed.end(), out.b.data, out.b.data + out.b.size);
    at += n;
    if (first && outOfTurn) {
      // While the stream is open: the whole-buffer calls and the other direction are refused.
      Buffer other;
      FUZZ_CHECK(Checked(orvo_cipher_encrypt(c.streaming, data.data(), data.size(), &other.b)) == ORVO_E_STATE);
      FUZZ_CHECK(Checked(orvo_cipher_decrypt(c.streaming, data.data(), data.size(), &other.b)) == ORVO_E_STATE);
      FUZZ_CHECK(Checked(decrypt ? orvo_cipher_encrypt_update(c.streaming, data.data(), data.size(), &other.b)
                                 : orvo_cipher_decrypt_update(c.streaming, data.data(), data.size(), &other.b)) ==
                 ORVO_E_STATE);
      FUZZ_CHECK(other.b.size == 0);
    }
    first = false;
  }
  if (s == ORVO_OK) {
    if (decrypt) {
      s = Checked(orvo_cipher_decrypt_final(c.streaming));
    } else {
      s = Checked(orvo_cipher_encrypt_final(c.streaming, &out.b));
      if (s == ORVO_OK) streamed.insert(streamed.end(), out.b.data, out.b.data + out.b.size);
    }
  } else {
    // A failed update leaves the stream open; the final closes it.
    FUZZ_CHECK(s == ORVO_E_INVALID_KEY);
    if (decrypt) {
      Checked(orvo_cipher_decrypt_final(c.streaming));
    } else {
      Checked(orvo_cipher_encrypt_final(c.streaming, &out.b));
    }
  }
  FUZZ_CHECK(s == wholeStatus);
  FUZZ_CHECK(s == ORVO_OK || s == ORVO_E_INVALID_KEY || s == ORVO_E_DECRYPT);
  if (s == ORVO_OK) {
    FUZZ_CHECK(Same(once.b, streamed));
    c.SameChaining();
  } else {
    c.Reset();
  }
}

// A whole-buffer call with its input in the output buffer equals the call on a copy.
void InPlace(Ciphers& c, orvo::fuzz::Input& in) {
  const uint8_t flags = in.Byte();
  const bool decrypt = (flags & 1) != 0;
  const Place place = (flags & 2) != 0 ? Place::kInside : Place::kWhole;
  const Bytes data = in.Piece(512);
  Buffer apart, aliased;
  const orvo_status sa = Checked(decrypt ? orvo_cipher_decrypt(c.whole, data.data(), data.size(), &apart.b)
                                         : orvo_cipher_encrypt(c.whole, data.data(), data.size(), &apart.b));
  const orvo_status sb = Checked(Placed(place, data, &aliased.b, [&](const void* p, size_t n, orvo_buffer* o) {
    return decrypt ? orvo_cipher_decrypt(c.streaming, p, n, o) : orvo_cipher_encrypt(c.streaming, p, n, o);
  }));
  FUZZ_CHECK(sa == sb);
  if (sa == ORVO_OK) FUZZ_CHECK(Same(aliased.b, Of(apart.b)));
}

// The framing calls against a model of the packed blob.
void Framing(Buffer& blob, Bytes& model, orvo::fuzz::Input& in) {
  const uint8_t call = in.Byte() % 5;
  const size_t position = in.U16() % (model.size() + 3);
  const bool inRange = position <= model.size();
  Buffer out;
  switch (call) {
    case 0: {
      const uint32_t value = in.U32();
      const orvo_status s = Checked(orvo_insert_long(&blob.b, position, value));
      FUZZ_CHECK(s == (inRange ? ORVO_OK : ORVO_E_INVALID_ARGUMENT));
      if (s == ORVO_OK) {
        const uint8_t be[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
        model.insert(model.begin() + position, be, be + 4);
      }
      break;
    }
    case 1: {
      uint32_t value = 0;
      const orvo_status s = Checked(orvo_extract_long(&blob.b, position, &value));
      FUZZ_CHECK(s == (inRange ? ORVO_OK : ORVO_E_INVALID_ARGUMENT));
      if (s == ORVO_OK) {
        const size_t present = std::min<size_t>(4, model.size() - position);
        uint32_t want = 0;
        for (size_t i = 0; i < 4; ++i) want = (want << 8) | (i < present ? model[position + i] : 0u);
        FUZZ_CHECK(value == want);
        model.erase(model.begin() + position, model.begin() + position + present);
      }
      break;
    }
    case 2: {
      // The record's bytes from the input, or from the blob itself.
      const uint8_t source = in.Byte();
      Bytes bytes;
      const uint8_t* from = nullptr;
      if ((source & 1) != 0 && !model.empty()) {
        const size_t start = in.U16() % model.size();
        const size_t n = in.U16() % (model.size() - start + 1);
        bytes.assign(model.begin() + start, model.begin() + start + n);
        from = blob.b.data + start;
      } else {
        bytes = in.Piece(256);
        from = bytes.data();
      }
      const orvo_status s = Checked(orvo_insert_frame(&blob.b, position, from, bytes.size()));
      FUZZ_CHECK(s == (inRange ? ORVO_OK : ORVO_E_INVALID_ARGUMENT));
      if (s == ORVO_OK) {
        const uint32_t n = static_cast<uint32_t>(bytes.size());
        Bytes record = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
        record.insert(record.end(), bytes.begin(), bytes.end());
        model.insert(model.begin() + position, record.begin(), record.end());
      }
      break;
    }
    case 3: {
      const orvo_status s = Checked(orvo_extract_frame(&blob.b, position, &out.b));
      if (!inRange) {
        FUZZ_CHECK(s == ORVO_E_INVALID_ARGUMENT);
        break;
      }
      const size_t after = model.size() - position;
      size_t n = 0;
      if (after >= 4) {
        n = (size_t{model[position]} << 24) | (size_t{model[position + 1]} << 16) |
            (size_t{model[position + 2]} << 8) | model[position + 3];
      }
      if (after < 4 || n > after - 4) {
        FUZZ_CHECK(s == ORVO_E_CORRUPT);
        FUZZ_CHECK(std::strcmp(orvo_last_error(), "Crypto System: Data is corrupted - XBlob") == 0);
        break;
      }
      FUZZ_CHECK(s == ORVO_OK);
      FUZZ_CHECK(Same(out.b, Bytes(model.begin() + position + 4, model.begin() + position + 4 + n)));
      model.erase(model.begin() + position, model.begin() + position + 4 + n);
      break;
    }
    default: {
      // Replaced by a piece of its own bytes, or of the input.
      if ((in.Byte() & 1) != 0 && !model.empty()) {
        const size_t start = position % model.size();
        const Bytes part(model.begin() + start, model.end());
        FUZZ_CHECK(Checked(orvo_buffer_set(&blob.b, blob.b.data + start, part.size())) == ORVO_OK);
        model = part;
      } else {
        model = in.Piece(256);
        blob.Set(model);
      }
      break;
    }
  }
  FUZZ_CHECK(Same(blob.b, model));
}

struct Rsa {
  orvo_rsa* key = nullptr;
  bool genuine = false;  // made from seeds, not loaded from fuzzed blobs
  ~Rsa() { orvo_rsa_free(key); }
};

// Which operations run on the handle's key (Encrypt within rsa_work.h's bound): its
// blobs, as the handle gives them back, loaded into a key of the core's.
struct Work {
  bool encrypt = false, priv = false, pub = false;
  bool full = false;  // a modulus as long as its block: every padded block lies below it
};

Work WorkOf(const Rsa& r) {
  Work w;
  Buffer pub, priv;
  XRSAKey shadow;
  try {
    if (orvo_rsa_get_private_key(r.key, &priv.b) == ORVO_OK) {
      shadow.SetPrivateBlob(orvo::fuzz::BlobOf(Of(priv.b)));
    }
    if (orvo_rsa_get_public_key(r.key, &pub.b) == ORVO_OK) shadow.SetPublicBlob(orvo::fuzz::BlobOf(Of(pub.b)));
  } catch (const XAlarm&) {
    FUZZ_CHECK(false);  // what the handle writes loads again
  }
  // The library bounds every number by the key's size: every operation runs,
  // Encrypt only where it draws few padding seeds.
  w.pub = true;
  w.encrypt = orvo::fuzz::FewPaddingDraws(shadow);
  w.priv = true;
  w.full = shadow.size > 1 && shadow.n.BitLength() >= 8 * (uint64_t{shadow.size} - 1);
  return w;
}

void RsaFromSeeds(Rsa& r, orvo::fuzz::Input& in) {
  const Bytes seed1 = in.Piece(32), seed2 = in.Piece(32);
  const uint32_t size = in.Byte() % 65;  // the 512-bit class: its primes come from the table
  FUZZ_CHECK(Checked(orvo_rsa_generate_key(r.key, seed1.data(), seed1.size(), seed2.data(), seed2.size(), size)) ==
             ORVO_OK);
  size_t bytes = 0;
  FUZZ_CHECK(Checked(orvo_rsa_size(r.key, &bytes)) == ORVO_OK);
  FUZZ_CHECK(bytes == 64);
  r.genuine = true;
}

void RsaBlob(Rsa& r, orvo::fuzz::Input& in) {
  const bool privateHalf = (in.Byte() & 1) != 0;
  const Bytes blob = in.Piece(700);
  Buffer pubBefore, privBefore, pubAfter, privAfter;
  const orvo_status hadPub = Checked(orvo_rsa_get_public_key(r.key, &pubBefore.b));
  const orvo_status hadPriv = Checked(orvo_rsa_get_private_key(r.key, &privBefore.b));
  const orvo_status s = Checked(privateHalf ? orvo_rsa_set_private_key(r.key, blob.data(), blob.size())
                                            : orvo_rsa_set_public_key(r.key, blob.data(), blob.size()));
  FUZZ_CHECK(s == ORVO_OK || s == ORVO_E_CORRUPT || s == ORVO_E_INVALID_KEY);
  if (s != ORVO_OK) {
    // A failure leaves the key as it was.
    FUZZ_CHECK(Checked(orvo_rsa_get_public_key(r.key, &pubAfter.b)) == hadPub);
    FUZZ_CHECK(Checked(orvo_rsa_get_private_key(r.key, &privAfter.b)) == hadPriv);
    if (hadPub == ORVO_OK) FUZZ_CHECK(Same(pubAfter.b, Of(pubBefore.b)));
    if (hadPriv == ORVO_OK) FUZZ_CHECK(Same(privAfter.b, Of(privBefore.b)));
    return;
  }
  r.genuine = false;
  // What the key writes loads into a fresh key that writes it again.
  Buffer written, again;
  FUZZ_CHECK(Checked(privateHalf ? orvo_rsa_get_private_key(r.key, &written.b)
                                 : orvo_rsa_get_public_key(r.key, &written.b)) == ORVO_OK);
  orvo_rsa* fresh = nullptr;
  FUZZ_CHECK(Checked(orvo_rsa_new(&fresh)) == ORVO_OK);
  FUZZ_CHECK(Checked(privateHalf ? orvo_rsa_set_private_key(fresh, written.b.data, written.b.size)
                                 : orvo_rsa_set_public_key(fresh, written.b.data, written.b.size)) == ORVO_OK);
  FUZZ_CHECK(Checked(privateHalf ? orvo_rsa_get_private_key(fresh, &again.b)
                                 : orvo_rsa_get_public_key(fresh, &again.b)) == ORVO_OK);
  FUZZ_CHECK(Same(again.b, Of(written.b)));
  orvo_rsa_free(fresh);
}

bool IsRsaStatus(orvo_status s) {
  return s == ORVO_OK || s == ORVO_E_INVALID_KEY || s == ORVO_E_DECRYPT;
}

void RsaOperations(Rsa& r, orvo::fuzz::Input& in) {
  const uint8_t flags = in.Byte();
  const Place place = PlaceOf(flags);
  Bytes data = in.Piece(300);
  size_t size = 0;
  FUZZ_CHECK(Checked(orvo_rsa_size(r.key, &size)) == ORVO_OK);
  const Work work = WorkOf(r);
  // A key from seeds works, unless its modulus is short of its block (primes
  // are not forced to full length): then Encrypt and Sign may refuse it.
  const bool works = r.genuine && work.full;
  if (r.genuine) FUZZ_CHECK(work.priv && work.pub);
  // At most three blocks each way.
  data.resize(std::min(data.size(), 3 * (size > 42 ? size - 42 : 1)));

  Buffer sealed, opened;
  orvo_status se = ORVO_E_INVALID_KEY;
  if (work.encrypt) {
    se = Checked(Placed(place, data, &sealed.b, [&](const void* p, size_t n, orvo_buffer* o) {
      return orvo_rsa_encrypt(r.key, p, n, o);
    }));
    FUZZ_CHECK(IsRsaStatus(se));
  }
  Buffer signature;
  if (work.priv) {
    if (se == ORVO_OK) {
      FUZZ_CHECK(size > 42 && sealed.b.size == size * ((data.size() + size - 43) / (size - 42)));
      const orvo_status so = Checked(Placed(place, Of(sealed.b), &opened.b, [&](const void* p, size_t n,
                                                                                 orvo_buffer* o) {
        return orvo_rsa_decrypt(r.key, p, n, o);
      }));
      FUZZ_CHECK(IsRsaStatus(so));
      if (r.genuine) FUZZ_CHECK(so == ORVO_OK && Same(opened.b, data));
    }
    // The data itself as ciphertext, cut to three blocks.
    const size_t ctBytes = std::min(data.size(), 3 * size);
    const orvo_status sd = Checked(orvo_rsa_decrypt(r.key, data.data(), ctBytes, &opened.b));
    FUZZ_CHECK(IsRsaStatus(sd));

    const orvo_status ss = Checked(Placed(place, data, &signature.b, [&](const void* p, size_t n, orvo_buffer* o) {
      return orvo_rsa_sign(r.key, p, n, o);
    }));
    FUZZ_CHECK(ss == ORVO_OK || ss == ORVO_E_INVALID_KEY);
    if (works) FUZZ_CHECK(ss == ORVO_OK);
    // Signing is deterministic: the same signature for the data apart, and piece by piece.
    Buffer apart, piecewise;
    FUZZ_CHECK(Checked(orvo_rsa_sign(r.key, data.data(), data.size(), &apart.b)) == ss);
    for (size_t at = 0; at < data.size();) {
      const size_t n = std::min<size_t>(in.Left() > 0 ? in.Byte() % 64 : data.size(), data.size() - at);
      FUZZ_CHECK(Checked(orvo_rsa_update(r.key, data.data() + at, n)) == ORVO_OK);
      at += n;
    }
    FUZZ_CHECK(Checked(orvo_rsa_sign_final(r.key, &piecewise.b)) == ss);
    if (ss == ORVO_OK) {
      FUZZ_CHECK(signature.b.size == size);
      FUZZ_CHECK(Same(apart.b, Of(signature.b)));
      FUZZ_CHECK(Same(piecewise.b, Of(signature.b)));
    }
  }
  if (!work.pub) return;
  int valid = -1;
  const orvo_status sv = Checked(orvo_rsa_verify(r.key, data.data(), data.size(), signature.b.data, signature.b.size,
                                                 &valid));
  FUZZ_CHECK(sv == ORVO_OK || sv == ORVO_E_INVALID_KEY);
  if (sv == ORVO_OK) FUZZ_CHECK(valid == 0 || valid == 1);
  if (r.genuine) FUZZ_CHECK(sv == ORVO_OK);
  if (works) FUZZ_CHECK(valid == 1);
  FUZZ_CHECK(Checked(orvo_rsa_update(r.key, data.data(), data.size())) == ORVO_OK);
  int again = -1;
  FUZZ_CHECK(Checked(orvo_rsa_verify_final(r.key, signature.b.data, signature.b.size, &again)) == sv);
  if (sv == ORVO_OK) FUZZ_CHECK(again == valid);
}

// MD5, SHA-1 and CRC-32 piece by piece equal the one-buffer results.
void Digests(orvo::fuzz::Input& in) {
  const Place place = PlaceOf(in.Byte());
  const Bytes data = in.Piece(1024);
  orvo_md5* md5 = nullptr;
  orvo_sha1* sha1 = nullptr;
  FUZZ_CHECK(Checked(orvo_md5_new(&md5)) == ORVO_OK);
  FUZZ_CHECK(Checked(orvo_sha1_new(&sha1)) == ORVO_OK);
  uint32_t crc = 0;
  for (size_t at = 0; at < data.size();) {
    const size_t n = std::min<size_t>(in.Left() > 0 ? in.Byte() % 100 : data.size(), data.size() - at);
    FUZZ_CHECK(Checked(orvo_md5_update(md5, data.data() + at, n)) == ORVO_OK);
    FUZZ_CHECK(Checked(orvo_sha1_update(sha1, data.data() + at, n)) == ORVO_OK);
    FUZZ_CHECK(Checked(orvo_crc32_update(&crc, data.data() + at, n)) == ORVO_OK);
    at += n;
  }
  Buffer md5Stream, sha1Stream, md5Once, sha1Once;
  FUZZ_CHECK(Checked(orvo_md5_final(md5, &md5Stream.b)) == ORVO_OK);
  FUZZ_CHECK(Checked(orvo_sha1_final(sha1, &sha1Stream.b)) == ORVO_OK);
  FUZZ_CHECK(Checked(Placed(place, data, &md5Once.b, [](const void* p, size_t n, orvo_buffer* o) {
               return orvo_md5_digest(p, n, o);
             })) == ORVO_OK);
  FUZZ_CHECK(Checked(Placed(place, data, &sha1Once.b, [](const void* p, size_t n, orvo_buffer* o) {
               return orvo_sha1_digest(p, n, o);
             })) == ORVO_OK);
  FUZZ_CHECK(md5Stream.b.size == 16 && Same(md5Once.b, Of(md5Stream.b)));
  FUZZ_CHECK(sha1Stream.b.size == 20 && Same(sha1Once.b, Of(sha1Stream.b)));
  uint32_t once = 0;
  FUZZ_CHECK(Checked(orvo_crc32_update(&once, data.data(), data.size())) == ORVO_OK);
  FUZZ_CHECK(once == crc);
  orvo_md5_free(md5);
  orvo_sha1_free(sha1);
}

void Random(orvo::fuzz::Input& in) {
  const size_t count = in.Byte();
  Buffer out;
  FUZZ_CHECK(Checked(orvo_random(count, &out.b)) == ORVO_OK);
  FUZZ_CHECK(out.b.size == count);
}

// NULL handles and pointers, and a NULL with a size: refused, nothing written.
void Misuse(Ciphers& c, Rsa& r, orvo::fuzz::Input& in) {
  Buffer out;
  size_t size = 0;
  int valid = -1;
  orvo_status s = ORVO_OK;
  switch (in.Byte() % 8) {
    case 0: s = orvo_cipher_encrypt(nullptr, "x", 1, &out.b); break;
    case 1: s = orvo_cipher_decrypt_update(c.whole, nullptr, 5, &out.b); break;
    case 2: s = orvo_cipher_encrypt(c.whole, "x", 1, nullptr); break;
    case 3: s = orvo_rsa_sign(r.key, nullptr, 1, &out.b); break;
    case 4: s = orvo_rsa_verify(r.key, "x", 1, nullptr, 3, &valid); break;
    case 5: s = orvo_buffer_set(&out.b, nullptr, 2); break;
    case 6: s = orvo_rsa_size(nullptr, &size); break;
    default: s = orvo_md5_digest("x", 1, nullptr); break;
  }
  FUZZ_CHECK(Checked(s) == ORVO_E_INVALID_ARGUMENT);
  FUZZ_CHECK(out.b.size == 0 && valid == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  g_counter = 0;
  orvo::SetPaddingEntropyForTesting(CounterEntropy);
  static const orvo::RandomSources fixed = {FixedClock, CounterEntropy};
  orvo::SetRandomSourcesForTesting(&fixed);
  orvo::fuzz::UseTablePrimes();

  orvo::fuzz::Input in(bytes, size);
  static const char* const kNames[] = {"aes", "TwoFish", "BLOWFISH", "des"};
  const char* name = kNames[in.Byte() % 4];
  Ciphers c;
  if (Checked(orvo_cipher_new(name, &c.streaming)) != ORVO_OK) {
    FUZZ_CHECK(c.streaming == nullptr);
    name = "aes";
    FUZZ_CHECK(Checked(orvo_cipher_new(name, &c.streaming)) == ORVO_OK);
  }
  FUZZ_CHECK(Checked(orvo_cipher_new(name, &c.whole)) == ORVO_OK);
  FUZZ_CHECK(Checked(orvo_cipher_block_size(c.whole, &c.block)) == ORVO_OK);
  Rsa r;
  FUZZ_CHECK(Checked(orvo_rsa_new(&r.key)) == ORVO_OK);
  Buffer blob;
  Bytes model;

  // Bounded work per input: at most 64 operations.
  for (int op = 0; op < 64 && in.Left() > 0; ++op) {
    switch (in.Byte() % kOps) {
      case 0: KeyFromSeed(c, in); break;
      case 1: KeyBlob(c, in); break;
      case 2: Mode(c, in); break;
      case 3: Filler(c, in); break;
      case 4: Stream(c, in); break;
      case 5: InPlace(c, in); break;
      case 6: Framing(blob, model, in); break;
      case 7: RsaFromSeeds(r, in); break;
      case 8: RsaBlob(r, in); break;
      case 9: RsaOperations(r, in); break;
      case 10: Digests(in); break;
      case 11: Random(in); break;
      case 12: c.Reset(); break;
      case 13: Misuse(c, r, in); break;
      default: IvAndFiller(c, in); break;
    }
  }
  orvo::SetRandomSourcesForTesting(nullptr);
  return 0;
}
