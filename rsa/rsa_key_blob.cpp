// The RSA key blobs: writers and loaders with the checks between the halves.
#include <initializer_list>

#include "base/alarm.h"
#include "rsa/rsa_key.h"

namespace {

void InsertNumber(XBlob& out, const XBigInt& x) {
  XBlob bytes(16);
  x.ToBytes(bytes);
  out.InsertBlob(bytes);
}

}  // namespace

void XRSAKey::GetPublicBlob(XBlob& out) const {
  out.size = 0;
  out.InsertLong(size);
  InsertNumber(out, n);
  InsertNumber(out, e);
}

void XRSAKey::GetPrivateBlob(XBlob& out) const {
  out.size = 0;
  out.InsertLong(size);
  for (const XBigInt* x : {&n, &d, &p, &q, &dP, &dQ, &qInv}) InsertNumber(out, *x);
}

namespace {

// Reads size and field N; when `otherHalf` is present they must match the
// key's own size and n, else "Invalid key" / "RSA". Returns the offset after N.
uint32_t LoadSizeAndModulus(XRSAKey& key, const XBlob& blob, bool otherHalf) {
  if (blob.size < 5) throw XCryptoAlarm(alarm_text::kDataCorrupted, "RSA");
  const uint32_t s = blob.ExtractLong(0);
  XBlob field(16);
  const uint32_t next = blob.ExtractBlob(4, field);
  if (otherHalf) {
    XBlob own(16);
    key.n.ToBytes(own);
    if (s != key.size || !field.Equals(own)) throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA");
  } else {
    key.size = s;
    key.n.FromBytes(field);
  }
  return next;
}

uint32_t LoadNumber(const XBlob& blob, uint32_t offset, XBigInt& x) {
  XBlob field(16);
  const uint32_t next = blob.ExtractBlob(offset, field);
  x.FromBytes(field);
  return next;
}

}  // namespace

void XRSAKey::SetPublicBlob(const XBlob& blob) {
  uint32_t offset = LoadSizeAndModulus(*this, blob, (flags & kPrivateHalf) != 0);
  offset = LoadNumber(blob, offset, e);
  flags |= kPublicHalf;
}

void XRSAKey::SetPrivateBlob(const XBlob& blob) {
  uint32_t offset = LoadSizeAndModulus(*this, blob, (flags & kPublicHalf) != 0);
  for (XBigInt* x : {&d, &p, &q, &dP, &dQ, &qInv}) offset = LoadNumber(blob, offset, *x);
  flags |= kPrivateHalf;
}
