// Length-prefixed framing of blobs inside an XBlob, and hexadecimal text.
// A frame is a 4-byte big-endian length followed by that many bytes; frames and
// bare 4-byte numbers follow one another without gaps.
#include <cstdint>
#include <cstring>

#include "base/alarm.h"
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

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value the C library's "%hx" reads from a two-character text, or 0 where
// it reads no number: leading white space is skipped and a sign is taken, as
// scanf does; digits are read until the first character that is not one.
unsigned ScanHexPair(const char pair[2]) {
  int i = 0;
  while (i < 2 && (pair[i] == ' ' || (pair[i] >= '\t' && pair[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < 2 && (pair[i] == '+' || pair[i] == '-')) {
    negative = pair[i] == '-';
    ++i;
  }
  unsigned value = 0;
  for (; i < 2 && HexDigit(pair[i]) >= 0; ++i) value = value * 16 + static_cast<unsigned>(HexDigit(pair[i]));
  return negative ? 0u - value : value;
}

}  // namespace

void XBlob::FromHex(const char* text) {
  const std::size_t length = std::strlen(text);
  CheckedSize(length / 2 + length % 2);
  size = 0;
  std::size_t i = 0;
  char pair[2];
  if (length % 2 != 0) {
    pair[0] = '0';
    pair[1] = text[0];
    InsertByte(static_cast<uint8_t>(ScanHexPair(pair)), size);
    i = 1;
  }
  for (; i < length; i += 2) {
    pair[0] = text[i];
    pair[1] = text[i + 1];
    InsertByte(static_cast<uint8_t>(ScanHexPair(pair)), size);
  }
}
