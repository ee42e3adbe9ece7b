// XBigInt: storage, byte conversion, addition, subtraction, schoolbook
// multiplication and comparison on 16-bit limbs. Long division is in
// bigint_division.cpp, the modular operations in modular.cpp and primes.cpp.
#include "rsa/bigint.h"

#include <algorithm>
#include <cstring>

#include "base/alarm.h"
#include "base/constant_time.h"
#include "base/wipe.h"

namespace {

constexpr uint32_t kInitialLimbs = 16;

void WipeLimbs(uint16_t* limbs, uint32_t n) {
  if (limbs != nullptr) orvo::SecureWipe(limbs, sizeof(uint16_t) * n);
}

// memcpy of n limbs; `from` may be null (a value without limbs) when n is 0.
void CopyLimbs(uint16_t* to, const uint16_t* from, uint32_t n) {
  if (n != 0) std::memcpy(to, from, sizeof(uint16_t) * n);
}

}  // namespace

XBigInt::XBigInt(uint16_t value)
    : limbs_(std::make_unique<uint16_t[]>(kInitialLimbs)), capacity_(kInitialLimbs), count_(1) {
  limbs_[0] = value;
}

XBigInt::XBigInt(const XBigInt& other)
    : limbs_(std::make_unique<uint16_t[]>(other.capacity_)), capacity_(other.capacity_), count_(other.count_) {
  CopyLimbs(limbs_.get(), other.limbs_.get(), count_);
}

XBigInt::XBigInt(XBigInt&& other) noexcept
    : limbs_(std::move(other.limbs_)), capacity_(other.capacity_), count_(other.count_) {
  // No allocation here: the moved-from value is left without limbs (bigint.h).
  other.capacity_ = 0;
  other.count_ = 0;
}

XBigInt& XBigInt::operator=(const XBigInt& other) {
  if (this != &other) {
    Reserve(other.count_);
    CopyLimbs(limbs_.get(), other.limbs_.get(), other.count_);
    if (other.count_ < count_) WipeLimbs(limbs_.get() + other.count_, count_ - other.count_);
    count_ = other.count_;
  }
  return *this;
}

XBigInt& XBigInt::operator=(XBigInt&& other) noexcept {
  if (this != &other) {
    WipeLimbs(limbs_.get(), capacity_);
    std::swap(limbs_, other.limbs_);
    std::swap(capacity_, other.capacity_);
    std::swap(count_, other.count_);
    // `other` keeps this value's old array as zero, or stays without limbs.
    other.count_ = other.capacity_ != 0 ? 1 : 0;
    if (other.count_ != 0) other.limbs_[0] = 0;
  }
  return *this;
}

XBigInt::~XBigInt() { WipeLimbs(limbs_.get(), capacity_); }

void XBigInt::Reserve(uint32_t n) {
  if (n <= capacity_) return;
  auto grown = std::make_unique<uint16_t[]>(n);
  CopyLimbs(grown.get(), limbs_.get(), count_);
  WipeLimbs(limbs_.get(), capacity_);
  limbs_ = std::move(grown);
  capacity_ = n;
}

void XBigInt::PushLimb(uint16_t limb) {
  if (count_ == capacity_) Reserve(std::max<uint32_t>(2 * capacity_, 1));
  limbs_[count_++] = limb;
}

void XBigInt::Resize(uint32_t n) {
  if (n > capacity_) {
    uint32_t c = std::max<uint32_t>(capacity_, 1);
    while (c < n) c *= 2;
    Reserve(c);
  }
  for (uint32_t i = count_; i < n; ++i) limbs_[i] = 0;
  count_ = n;
}

XBigInt& XBigInt::Normalize() {
  while (count_ > 1 && limbs_[count_ - 1] == 0) --count_;
  if (count_ == 0) {
    count_ = 1;
    limbs_[0] = 0;
  }
  return *this;
}

XBigInt& XBigInt::AssignLimbs(const uint16_t* limbs, uint32_t n) {
  Reserve(std::max<uint32_t>(n, 1));
  if (n == 0) {
    limbs_[0] = 0;
    count_ = 1;
    return *this;
  }
  std::memcpy(limbs_.get(), limbs, sizeof(uint16_t) * n);
  count_ = n;
  return Normalize();
}

XBigInt& XBigInt::Set(uint16_t value) {
  count_ = 1;
  limbs_[0] = value;
  return *this;
}

XBigInt& XBigInt::FromBytes(const XBlob& bytes) {
  // Pairs from the end: (b[i-2], b[i-1]) is the next limb up; an odd count
  // reads as if one zero byte stood in front.
  const uint32_t n = bytes.size;
  Reserve(std::max<uint32_t>((n + 1) / 2, 1));
  count_ = 0;
  uint32_t i = n;
  while (i >= 2) {
    limbs_[count_++] = static_cast<uint16_t>((bytes.data[i - 2] << 8) | bytes.data[i - 1]);
    i -= 2;
  }
  if (i == 1) limbs_[count_++] = bytes.data[0];
  // The count of significant limbs, found without a branch on the limbs and
  // then made public: how long a number is, its bytes already say (a key
  // blob spells each number at its natural length).
  uint64_t significant = 0;
  for (uint32_t k = 0; k < count_; ++k) significant = orvo::ct::Select(orvo::ct::IsNonZeroMask(limbs_[k]), k + 1, significant);
  count_ = orvo::ct::Declassified(static_cast<uint32_t>(significant));
  if (count_ == 0) {
    count_ = 1;
    limbs_[0] = 0;
  }
  return *this;
}

void XBigInt::ToBytes(XBlob& out, uint32_t length) const {
  const uint32_t c = count_;
  if (length == 0) length = limbs_[c - 1] >= 256 ? 2 * c : 2 * c - 1;
  out.size = 0;
  if (out.capacity < length) out.Grow(length - out.capacity);
  uint8_t* p = out.data;
  // Byte j counted from the least significant end is byte j % 2 of limb j / 2.
  for (uint32_t k = 0; k < length; ++k) {
    const uint32_t j = length - 1 - k;
    const uint32_t limb = j / 2;
    p[k] = limb < c ? static_cast<uint8_t>(limbs_[limb] >> (8 * (j % 2))) : 0;
  }
  out.size = length;
}

XBigInt& XBigInt::Add(const XBigInt& other) {
  if (other.count_ > count_) Resize(other.count_);
  uint32_t carry = 0;
  uint32_t i = 0;
  for (; i < other.count_; ++i) {
    const uint32_t s = uint32_t{limbs_[i]} + other.limbs_[i] + carry;
    limbs_[i] = static_cast<uint16_t>(s);
    carry = s >> 16;
  }
  for (; carry != 0 && i < count_; ++i) {
    const uint32_t s = uint32_t{limbs_[i]} + carry;
    limbs_[i] = static_cast<uint16_t>(s);
    carry = s >> 16;
  }
  if (carry != 0) PushLimb(1);
  return *this;
}

XBigInt& XBigInt::Subtract(const XBigInt& other) {
  if (Compare(other) < 0) throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA");
  uint32_t borrow = 0;
  uint32_t i = 0;
  for (; i < other.count_; ++i) {
    const uint32_t d = uint32_t{limbs_[i]} - other.limbs_[i] - borrow;
    limbs_[i] = static_cast<uint16_t>(d);
    borrow = (d >> 16) & 1;
  }
  for (; borrow != 0 && i < count_; ++i) {
    const uint32_t d = uint32_t{limbs_[i]} - borrow;
    limbs_[i] = static_cast<uint16_t>(d);
    borrow = (d >> 16) & 1;
  }
  return Normalize();
}

XBigInt& XBigInt::Multiply(const XBigInt& other) {
  if (IsZero() || other.IsZero()) return Set(0);
  const uint32_t n = count_ + other.count_ + 1;
  auto t = std::make_unique<uint16_t[]>(n);  // value-initialised: positions not yet written are 0
  for (uint32_t i = 0; i < count_; ++i) {
    uint32_t carry = 0;
    for (uint32_t j = 0; j < other.count_; ++j) {
      const uint32_t s = uint32_t{limbs_[i]} * other.limbs_[j] + t[i + j] + carry;
      t[i + j] = static_cast<uint16_t>(s);
      carry = s >> 16;
    }
    t[i + other.count_] = static_cast<uint16_t>(carry);
  }
  AssignLimbs(t.get(), n);
  WipeLimbs(t.get(), n);
  return *this;
}

int XBigInt::Compare(const XBigInt& other) const {
  if (count_ != other.count_) return count_ < other.count_ ? -1 : 1;
  for (uint32_t i = count_; i-- > 0;) {
    if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
  }
  return 0;
}

uint32_t XBigInt::BitLength() const {
  // The top limb's length by halving, each step chosen by a mask: the count
  // is public, the top limb's bits may be secret.
  uint64_t top = limbs_[count_ - 1];
  uint64_t length = 0;
  for (unsigned shift = 8; shift != 0; shift /= 2) {
    const uint64_t above = orvo::ct::IsNonZeroMask(top >> shift);
    length += shift & above;
    top = orvo::ct::Select(above, top >> shift, top);
  }
  return 16 * (count_ - 1) + static_cast<uint32_t>(length + top);
}
