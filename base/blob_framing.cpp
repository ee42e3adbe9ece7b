// Length-prefixed framing of blobs inside an XBlob, and hexadecimal text
// (its rule in base/text_codecs.h).
// A frame is a 4-byte big-endian length followed by that many bytes; frames and
// bare 4-byte numbers follow one another without gaps.
#include <cstdint>
#include <cstring>

#include "base/alarm.h"
#include "base/text_codecs.h"
#include "base/wipe.h"
#include "base/xblob.h"

void XBlob::InsertBlob(const XBlob& other) {
  // The whole frame fits or nothing goes in (checked before a copy of this
  // buffer is made for inserting it into itself).
  CheckedSize(uint64_t{size} + 4 + other.size);
  if (&other == this) {
    const XBlob copy(other);
    InsertBlob(copy);
    return;
  }
  InsertLong(other.size);
  try {
    Insert(other, size);
  } catch (...) {
    size -= 4;  // memory ran out for the bytes: take the length back out
    throw;
  }
}

uint32_t XBlob::ExtractBlob(uint32_t offset, XBlob& out) const {
  if (&out == this) {
    // Reading a frame of a buffer into itself: read from a copy, so the checks
    // see the frame and not the emptied output.
    const XBlob source(*this);
    return source.ExtractBlob(offset, out);
  }
  out.size = 0;
  if (offset > size || size - offset < 4) throw XCryptoAlarm(alarm_text::kDataCorrupted, "XBlob");
  const uint32_t n = ExtractLong(offset);
  if (n > size - offset - 4) throw XCryptoAlarm(alarm_text::kDataCorrupted, "XBlob");
  out.Append(data + offset + 4, n);
  return offset + 4 + n;
}

void XBlob::FromHex(const char* text) {
  const std::size_t length = std::strlen(text);
  CheckedSize(length / 2 + length % 2);
  size = 0;
  // Decoded a piece at a time on the stack and appended, so the buffer grows
  // as single-byte appends would; the piece may hold secret bytes.
  uint8_t piece[256];
  try {
    // The first piece is the one with an odd length, if any: ScanHexPairs
    // reads its first character with a "0" in front.
    std::size_t at = 0;
    std::size_t take = length % 2 != 0 ? sizeof piece * 2 - 1 : sizeof piece * 2;
    while (at < length) {
      if (take > length - at) take = length - at;
      const std::size_t n = orvo::codec::ScanHexPairs(text + at, take, piece);
      Append(piece, static_cast<uint32_t>(n));
      at += take;
      take = sizeof piece * 2;
    }
  } catch (...) {
    orvo::SecureWipe(piece, sizeof piece);
    throw;
  }
  orvo::SecureWipe(piece, sizeof piece);
}
