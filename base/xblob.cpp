#include "base/xblob.h"

#include <cstring>
#include <new>
#include <utility>

#include "base/alarm.h"
#include "base/blob_allocator.h"
#include "base/wipe.h"

namespace {

uint8_t* NewBlock(uint32_t capacity) {
  return static_cast<uint8_t*>(orvo::BlobAlloc(capacity));
}

// The whole block is wiped, not only the bytes in use: a buffer whose size was
// reset to 0 and refilled may still hold earlier key bytes past its size.
void FreeBlock(uint8_t* block, uint32_t capacity) {
  if (block == nullptr) return;
  orvo::SecureWipe(block, capacity);
  orvo::BlobFree(block);
}

}  // namespace

uint32_t XBlob::CheckedSize(uint64_t n) {
  if (n > kMaxSize) throw std::bad_alloc();
  return static_cast<uint32_t>(n);
}

XBlob::XBlob(uint32_t capacity_) : data(NewBlock(capacity_)), capacity(capacity_), size(0) {}

XBlob::XBlob(const XBlob& other)
    : data(NewBlock(other.capacity)), capacity(other.capacity), size(other.size) {
  if (size != 0) std::memcpy(data, other.data, size);
}

XBlob::XBlob(XBlob&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      capacity(std::exchange(other.capacity, 0)),
      size(std::exchange(other.size, 0)) {}

XBlob& XBlob::operator=(const XBlob& other) {
  if (this != &other) {
    XBlob copy(other);
    *this = std::move(copy);
  }
  return *this;
}

XBlob& XBlob::operator=(XBlob&& other) noexcept {
  if (this != &other) {
    FreeBlock(data, capacity);
    data = std::exchange(other.data, nullptr);
    capacity = std::exchange(other.capacity, 0);
    size = std::exchange(other.size, 0);
  }
  return *this;
}

XBlob::~XBlob() { FreeBlock(data, capacity); }

void XBlob::Reallocate(uint32_t newCapacity) {
  uint8_t* block = NewBlock(newCapacity);
  if (size != 0) std::memcpy(block, data, size);
  FreeBlock(data, capacity);
  data = block;
  capacity = newCapacity;
}

void XBlob::Grow(uint32_t n) { Reallocate(CheckedSize(uint64_t{capacity} + n)); }

void XBlob::EnsureForOneMore() {
  if (size < capacity) return;
  // A full buffer of the largest capacity cannot take one more byte.
  if (size == kMaxSize) throw std::bad_alloc();
  // Doubling a capacity of 0 would stay 0: grow to at least one byte.
  // Past 2 GiB doubling would wrap: take the largest capacity instead.
  Reallocate(capacity == 0 ? 1 : capacity > kMaxSize / 2 ? kMaxSize : capacity * 2);
}

void XBlob::Insert(const XBlob& other, uint32_t pos) {
  if (&other == this) {
    // Checked before the copy, so an oversized result costs no copy.
    CheckedSize(uint64_t{size} * 2);
    const XBlob copy(other);
    Insert(copy, pos);
    return;
  }
  const uint32_t n = other.size;
  // Checked before anything changes: a result past kMaxSize leaves this buffer as it was.
  const uint32_t needed = CheckedSize(uint64_t{size} + n);
  if (needed >= capacity) {
    // other.capacity >= n, so the sum is always enough; past kMaxSize the
    // largest capacity is.
    uint64_t grown = uint64_t{capacity} + other.capacity;
    if (grown > kMaxSize) grown = kMaxSize;
    if (grown < needed) grown = needed;
    Reallocate(static_cast<uint32_t>(grown));
  }
  if (n == 0) return;
  if (pos < size) {
    std::memmove(data + pos + n, data + pos, size - pos);
  } else {
    pos = size;
  }
  std::memcpy(data + pos, other.data, n);
  size = needed;
}

void XBlob::InsertByte(uint8_t b, uint32_t pos) {
  EnsureForOneMore();
  if (pos < size) {
    std::memmove(data + pos + 1, data + pos, size - pos);
  } else {
    pos = size;
  }
  data[pos] = b;
  ++size;
}

void XBlob::InsertLong(uint32_t v) {
  // Append grows as four single-byte appends would, and puts in all four bytes or none.
  const uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v)};
  Append(bytes, 4);
}

uint32_t XBlob::ExtractLong(uint32_t offset) const {
  const uint8_t* p = data + offset;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

bool XBlob::Equals(const XBlob& other) const {
  return size == other.size && (size == 0 || std::memcmp(data, other.data, size) == 0);
}

XBlob XBlob::Xor(const XBlob& a, const XBlob& b) {
  const XBlob& longer = a.size >= b.size ? a : b;
  const XBlob& shorter = a.size >= b.size ? b : a;
  XBlob result(longer.size);
  for (uint32_t i = 0; i < longer.size; ++i) {
    result.data[i] = static_cast<uint8_t>(longer.data[i] ^ (i < shorter.size ? shorter.data[i] : 0));
  }
  result.size = longer.size;
  return result;
}

void XBlob::Append(const uint8_t* bytes, uint32_t n) {
  if (n == 0) return;
  const uint32_t needed = CheckedSize(uint64_t{size} + n);
  if (needed > capacity) {
    uint64_t grown = capacity == 0 ? 1 : capacity;
    while (grown < needed) grown *= 2;
    // Past 2 GiB doubling would pass 4 GiB: take the largest capacity at once,
    // as EnsureForOneMore does, so that later appends do not each reallocate.
    if (grown > kMaxSize) grown = kMaxSize;
    Reallocate(static_cast<uint32_t>(grown));
  }
  std::memmove(data + size, bytes, n);
  size = needed;
}
