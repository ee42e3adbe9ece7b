// The packing calls of the Misc object on library buffers: 4-byte numbers and
// length-prefixed records inserted at and extracted from a position.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "base/alarm.h"
#include "base/text_codecs.h"
#include "capi/call_frame.h"

using namespace orvo::capi;

namespace {

orvo_buffer& Checked(orvo_buffer* blob, size_t position) {
  Need(blob, "blob");
  Bytes(blob->data, blob->size, "blob->data");
  if (position > blob->size) {
    Refuse(ORVO_E_INVALID_ARGUMENT,
           "position " + std::to_string(position) + " is past the end (" + std::to_string(blob->size) + " bytes)");
  }
  return *blob;
}

// The blob with `removed` bytes at `position` replaced by the n bytes at
// `bytes` (which may lie in the blob).
void Splice(orvo_buffer& blob, size_t position, size_t removed, const uint8_t* bytes, size_t n) {
  const size_t size = blob.size - removed + n;
  if (size < n) throw std::bad_alloc();
  Output next(size);
  const auto copy = [](uint8_t* to, const uint8_t* from, size_t count) {
    if (count != 0) std::memcpy(to, from, count);
  };
  copy(next.data(), blob.data, position);
  copy(next.data() + position, bytes, n);
  copy(next.data() + position + n, blob.data + position + removed, blob.size - position - removed);
  next.HandTo(&blob, size);
}

// True when the n bytes at p overlap the blob's bytes.
bool Inside(const void* p, size_t n, const orvo_buffer& blob) {
  const auto at = reinterpret_cast<uintptr_t>(p);
  const auto start = reinterpret_cast<uintptr_t>(blob.data);
  return blob.size != 0 && at < start + blob.size && start < at + n;
}

void Long(uint8_t out[4], uint64_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

extern "C" {

orvo_status orvo_insert_long(orvo_buffer* blob, size_t position, uint32_t value) {
  return Frame(__func__, [&] {
    orvo_buffer& b = Checked(blob, position);
    uint8_t number[4];
    Long(number, value);
    Splice(b, position, 0, number, 4);
  });
}

orvo_status orvo_extract_long(orvo_buffer* blob, size_t position, uint32_t* value) {
  return Frame(__func__, [&] {
    Need(value, "value");
    orvo_buffer& b = Checked(blob, position);
    // The blob's bytes are freed before the value is written.
    if (Inside(value, sizeof *value, b)) Refuse(ORVO_E_INVALID_ARGUMENT, "value lies in the blob's bytes");
    size_t present = 0;
    const uint32_t v = orvo::codec::LoadLongZeroFilled(b.data + position, b.size - position, &present);
    Splice(b, position, present, nullptr, 0);
    *value = v;
  });
}

orvo_status orvo_insert_frame(orvo_buffer* blob, size_t position, const void* bytes, size_t size) {
  return Frame(__func__, [&] {
    const uint8_t* source = Bytes(bytes, size, "bytes");
    orvo_buffer& b = Checked(blob, position);
    if (size > UINT32_MAX) Refuse(ORVO_E_INVALID_ARGUMENT, "a record holds at most 4 GiB - 1 bytes");
    if (size > SIZE_MAX - 4) throw std::bad_alloc();  // 32-bit size_t: 4 + size would wrap
    Output record(4 + size);
    Long(record.data(), size);
    std::memcpy(record.data() + 4, source, size);
    Splice(b, position, 0, record.data(), 4 + size);
  });
}

orvo_status orvo_extract_frame(orvo_buffer* blob, size_t position, orvo_buffer* out) {
  return Frame(__func__, [&] {
    Need(out, "out");
    orvo_buffer& b = Checked(blob, position);
    if (out == blob) Refuse(ORVO_E_INVALID_ARGUMENT, "out is the blob itself");
    if (out->data != nullptr && out->data == b.data) Refuse(ORVO_E_INVALID_ARGUMENT, "out holds the blob's bytes");
    const size_t after = b.size - position;
    if (after < 4) throw XCryptoAlarm(alarm_text::kDataCorrupted, "XBlob");
    const uint8_t* at = b.data + position;
    const size_t n = (size_t{at[0]} << 24) | (size_t{at[1]} << 16) | (size_t{at[2]} << 8) | at[3];
    if (n > after - 4) throw XCryptoAlarm(alarm_text::kDataCorrupted, "XBlob");
    Output record(n);
    if (n != 0) std::memcpy(record.data(), at + 4, n);
    Splice(b, position, 4 + n, nullptr, 0);
    record.HandTo(out, n);
  });
}

}  // extern "C"
