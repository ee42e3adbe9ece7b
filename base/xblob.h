// XBlob: the growable byte buffer that carries every key, plaintext, ciphertext,
// digest, seed and packed blob.
//
// The three fields and their order are an external contract: the Blob component
// keeps its bytes in an XBlob of its own and hands this module a pointer to it,
// and both read and write the fields directly. Byte blocks come from the shared
// allocator (blob_allocator.h). Blocks are wiped before they are freed, so a
// buffer that held key material leaves nothing behind.
#pragma once

#include <cstdint>

struct XBlob {
  // The largest size and capacity the 32-bit fields hold (4 GiB - 1). Every
  // operation that would make a buffer larger throws std::bad_alloc before it
  // changes anything, so the buffer stays as it was.
  static constexpr uint32_t kMaxSize = 0xFFFFFFFFu;
  // `n` as a buffer size; std::bad_alloc when it passes kMaxSize. Callers
  // compute sizes in 64 bits and pass them here before allocating.
  static uint32_t CheckedSize(uint64_t n);

  uint8_t* data;      // heap block of `capacity` bytes, owned
  uint32_t capacity;  // bytes allocated at `data`
  uint32_t size;      // bytes in use; size <= capacity

  // A fresh buffer of `capacity` bytes and size 0. Working buffers use 16.
  explicit XBlob(uint32_t capacity = 16);
  // Takes the source's capacity and size and copies its bytes.
  XBlob(const XBlob& other);
  XBlob(XBlob&& other) noexcept;
  XBlob& operator=(const XBlob& other);
  XBlob& operator=(XBlob&& other) noexcept;
  ~XBlob();

  // Adds exactly n to the capacity, keeping the bytes in use.
  void Grow(uint32_t n);

  // Inserts all of `other` at `pos`; pos >= size appends. When the new size
  // would reach or pass the capacity, the capacity grows by other.capacity
  // (or to the needed size, whichever is larger; at most kMaxSize).
  // `other` may be this buffer.
  void Insert(const XBlob& other, uint32_t pos);
  // Inserts one byte at `pos`; pos >= size appends. Doubles a full buffer.
  void InsertByte(uint8_t b, uint32_t pos);
  // Appends v as four bytes, most significant first (all four or none).
  void InsertLong(uint32_t v);
  // The four bytes at `offset`, big-endian. The caller guarantees offset + 4 <= size.
  uint32_t ExtractLong(uint32_t offset) const;
  // Same sizes and the same bytes.
  bool Equals(const XBlob& other) const;
  // Byte-wise exclusive-or; the shorter operand counts as zero-extended.
  static XBlob Xor(const XBlob& a, const XBlob& b);

  // Appends n bytes at once with the growth of n single-byte appends (the
  // capacity doubles until they fit, or becomes the largest, 2^32 - 1, where
  // doubling would pass it), so bulk writers keep the same capacities.
  // `bytes` must not point into this buffer.
  void Append(const uint8_t* bytes, uint32_t n);

  // Framing (4-byte big-endian length, then the bytes).
  // Appends other's size as InsertLong, then other's bytes (the whole frame or
  // nothing).
  void InsertBlob(const XBlob& other);
  // Reads the frame at `offset` into `out` and returns the offset just past it.
  // Raises "Data is corrupted" / "XBlob" for an offset past the end, fewer than
  // four length bytes, or a length larger than the bytes after it; `out` is
  // then empty and this buffer unchanged.
  uint32_t ExtractBlob(uint32_t offset, XBlob& out) const;
  // Replaces the contents with the bytes a zero-terminated hexadecimal text
  // denotes, by the framing's rule (codec::ScanHexPairs, base/text_codecs.h):
  // an odd-length text is read with one "0" in front, and each pair of
  // characters is read as the C library's "%hx" reads it, its low 8 bits going
  // in ("-1" gives FF, "1g" gives 01, "zz" gives 00), so every pair adds
  // exactly one byte and no byte depends on stale memory. `text` must not lie
  // in this buffer.
  // A text of more than 2 * kMaxSize characters throws std::bad_alloc and
  // leaves the buffer as it was.
  void FromHex(const char* text);

 private:
  void Reallocate(uint32_t newCapacity);
  void EnsureForOneMore();
};
