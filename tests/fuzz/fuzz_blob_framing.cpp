// Fuzz target: XBlob's members as scripts reach them through the Misc
// object's framing members and as the RSA key blobs use them: Insert,
// InsertByte, InsertLong, InsertBlob, ExtractLong and ExtractBlob at arbitrary
// positions (a buffer into itself included), FromHex on arbitrary text, Xor,
// Grow, copies and moves, each checked against a plain byte vector.
//
// Input: Byte initial capacity (mod 33), then up to 64 steps, each a Byte
// operation and its operands (U32 positions, Piece bytes or text).
//
// Checks after every step: the bytes equal the model's, size <= capacity;
// ExtractBlob returns the frame's end and its payload, or raises "Data is
// corrupted" / "XBlob" exactly when the frame does not fit, with `out` empty
// and the source unchanged; FromHex gives one byte per pair (an odd text read
// with a leading "0") and the pair's value wherever both characters are
// hexadecimal digits; Xor has the longer operand's length and undoes itself.
#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "tests/fuzz/fuzz_support.h"

namespace {

using orvo::fuzz::BlobOf;
using orvo::fuzz::BytesOf;
using orvo::fuzz::IsAlarm;
using orvo::fuzz::SameBytes;
using Bytes = std::vector<uint8_t>;

// Self-inserts double the buffer: stop at 64 KiB. Larger buffers take the same
// paths (growth has no threshold below 2^31) and cost page faults and copies.
constexpr size_t kMaxModel = 1 << 16;

void CheckState(const XBlob& blob, const Bytes& model) {
  FUZZ_CHECK(blob.size <= blob.capacity);
  FUZZ_CHECK(SameBytes(blob, model));
}

void ModelInsert(Bytes& model, uint32_t pos, const Bytes& bytes) {
  const size_t at = pos < model.size() ? pos : model.size();
  model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
}

Bytes BigEndian(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

// A position near the end most of the time, anywhere (up to 2^32 - 1) otherwise.
uint32_t Position(orvo::fuzz::Input& in, const Bytes& model) {
  const uint32_t raw = in.U32();
  if ((raw >> 31) != 0) return raw;
  return static_cast<uint32_t>((raw % (model.size() + 8)));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void CheckFromHex(XBlob& blob, const Bytes& textBytes, Bytes& model) {
  std::string text(textBytes.begin(), textBytes.end());
  text = text.c_str();  // the member reads a zero-terminated text
  blob.FromHex(text.c_str());
  const std::string padded = text.size() % 2 != 0 ? "0" + text : text;
  FUZZ_CHECK(blob.size == padded.size() / 2);
  for (size_t i = 0; i < blob.size; ++i) {
    const int hi = HexValue(padded[2 * i]);
    const int lo = HexValue(padded[2 * i + 1]);
    if (hi >= 0 && lo >= 0) FUZZ_CHECK(blob.data[i] == hi * 16 + lo);
  }
  model = BytesOf(blob);
}

void CheckExtractBlob(XBlob& blob, uint32_t offset, bool intoItself, Bytes& model) {
  const bool fits = offset <= model.size() && model.size() - offset >= 4 &&
                    ((uint32_t{model[offset]} << 24) | (uint32_t{model[offset + 1]} << 16) |
                     (uint32_t{model[offset + 2]} << 8) | model[offset + 3]) <= model.size() - offset - 4;
  XBlob other(0);
  XBlob& out = intoItself ? blob : other;
  try {
    const uint32_t next = blob.ExtractBlob(offset, out);
    FUZZ_CHECK(fits);
    const uint32_t n = next - offset - 4;
    FUZZ_CHECK(next >= offset + 4 && next <= model.size());
    const Bytes payload(model.begin() + offset + 4, model.begin() + offset + 4 + n);
    FUZZ_CHECK(SameBytes(out, payload));
    if (intoItself) model = payload;
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(!fits);
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kDataCorrupted, "XBlob"));
    FUZZ_CHECK(out.size == 0);
    if (intoItself) model.clear();
  }
}

void CheckXor(XBlob& blob, const Bytes& piece, bool keep, Bytes& model) {
  const XBlob other = BlobOf(piece);
  const XBlob mixed = XBlob::Xor(blob, other);
  const size_t longer = std::max(model.size(), piece.size());
  FUZZ_CHECK(mixed.size == longer && mixed.capacity >= mixed.size);
  const XBlob back = XBlob::Xor(mixed, other);
  Bytes extended = model;
  extended.resize(longer, 0);
  FUZZ_CHECK(SameBytes(back, extended));
  if (keep) {
    blob = mixed;
    model = BytesOf(mixed);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  orvo::fuzz::Input in(bytes, size);
  XBlob blob(in.Byte() % 33);
  Bytes model;
  for (int step = 0; step < 64 && in.Left() > 0 && model.size() < kMaxModel; ++step) {
    const uint8_t op = in.Byte();
    switch (op % 12) {
      case 0: {  // InsertBlob of a piece, with spare capacity 0..7
        const Bytes piece = in.Piece(256);
        blob.InsertBlob(BlobOf(piece, in.Byte() % 8));
        const Bytes prefix = BigEndian(static_cast<uint32_t>(piece.size()));
        model.insert(model.end(), prefix.begin(), prefix.end());
        model.insert(model.end(), piece.begin(), piece.end());
        break;
      }
      case 1: {  // Insert of a piece at a position
        const uint32_t pos = Position(in, model);
        const Bytes piece = in.Piece(256);
        blob.Insert(BlobOf(piece, in.Byte() % 8), pos);
        ModelInsert(model, pos, piece);
        break;
      }
      case 2: {  // InsertByte
        const uint32_t pos = Position(in, model);
        const uint8_t b = in.Byte();
        blob.InsertByte(b, pos);
        ModelInsert(model, pos, {b});
        break;
      }
      case 3: {  // InsertLong
        const uint32_t v = in.U32();
        blob.InsertLong(v);
        const Bytes be = BigEndian(v);
        model.insert(model.end(), be.begin(), be.end());
        break;
      }
      case 4:  // ExtractBlob into another buffer
        CheckExtractBlob(blob, Position(in, model), false, model);
        break;
      case 5:  // ExtractBlob into the buffer itself
        CheckExtractBlob(blob, Position(in, model), true, model);
        break;
      case 6: {  // ExtractLong where four bytes follow
        const uint32_t offset = Position(in, model);
        if (offset <= model.size() && model.size() - offset >= 4) {
          const Bytes be = BigEndian(blob.ExtractLong(offset));
          FUZZ_CHECK(Bytes(model.begin() + offset, model.begin() + offset + 4) == be);
        }
        break;
      }
      case 7:
        CheckFromHex(blob, in.Piece(512), model);
        break;
      case 8: {
        const Bytes piece = in.Piece(256);
        CheckXor(blob, piece, (op & 0x80) != 0, model);
        break;
      }
      case 9: {  // the buffer into itself: InsertBlob or Insert at a position
        const uint32_t pos = Position(in, model);
        const Bytes before = model;
        if ((op & 0x80) != 0) {
          blob.InsertBlob(blob);
          const Bytes prefix = BigEndian(static_cast<uint32_t>(before.size()));
          model.insert(model.end(), prefix.begin(), prefix.end());
          model.insert(model.end(), before.begin(), before.end());
        } else {
          blob.Insert(blob, pos);
          ModelInsert(model, pos, before);
        }
        break;
      }
      case 10: {  // Grow, and the size set to 0 as the scripting methods do before storing
        const uint32_t capacity = blob.capacity;
        const uint32_t n = in.Byte();
        blob.Grow(n);
        FUZZ_CHECK(blob.capacity == capacity + n);
        if ((op & 0x80) != 0) {
          blob.size = 0;
          model.clear();
        }
        break;
      }
      default: {  // copy, copy assignment, move, move assignment
        XBlob copy(blob);
        FUZZ_CHECK(copy.Equals(blob) && copy.capacity == blob.capacity);
        XBlob assigned(in.Byte() % 8);
        assigned = copy;
        FUZZ_CHECK(assigned.Equals(blob));
        XBlob moved(std::move(copy));
        FUZZ_CHECK(moved.Equals(blob));
        blob = std::move(moved);
        break;
      }
    }
    CheckState(blob, model);
  }
  return 0;
}
