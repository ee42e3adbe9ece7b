// CryptoMisc (see crypto_misc.h).
#include "objects/crypto_misc.h"

#include "base/text_codecs.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/random.h"
#include "digest/sha1.h"
#include "objects/method_frame.h"
#include "xatlcom/error.h"
#include "xatlcom/page_hooks.h"

namespace orvo {
namespace {

using orvo::FrameBlobs;

// The largest count Random serves (2 GiB - 1). A larger count (every negative
// number a script passes) would need two buffers of more than 2 GiB, which an
// in-process server cannot count on; the allocator would end the host process.
constexpr uint32_t kMaxRandomCount = 0x7FFFFFFFu;

constexpr orvo::FrameOwner kOwner = {&CLSID_CryptoMisc, &IID_ICryptoMisc, orvo::CatchPolicy::kAll};

// Whether `position` lies within the Blob or at its end.
bool ValidPosition(const XBlob& blob, LONG position) {
  return position >= 0 && static_cast<uint32_t>(position) <= blob.size;
}

using I = ICryptoMisc;
const orvo::MemberEntry kRows[] = {
    orvo::OnStartPageRow<I>(),                                          // 1
    orvo::OnEndPageRow<I>(),                                            // 2
    orvo::Method<&I::MD5>("MD5"),                                       // 3
    orvo::Method<&I::SHA1>("SHA1"),                                     // 4
    orvo::Method<&I::Random>("Random"),                                 // 5
    orvo::Method<&I::CRC32>("CRC32"),                                   // 6
    orvo::Method<&I::InsertLongToBlob>("InsertLongToBlob"),             // 7
    orvo::Method<&I::ExtractLongFromBlob>("ExtractLongFromBlob"),       // 8
    orvo::Method<&I::InsertBlobToBlob>("InsertBlobToBlob"),             // 9
    orvo::Method<&I::ExtractBlobFromBlob>("ExtractBlobFromBlob"),       // 10
};
const orvo::MemberTable kTable = orvo::MakeMemberTable(&orvo::DispatchBaseTable, kRows);

}  // namespace

const orvo::InterfaceMapEntry CryptoMisc::kInterfaceMap[] = {{&IID_ICryptoMisc, 0}, {&IID_IDispatch, 0}, {nullptr, 0}};

HRESULT CryptoMisc::MD5(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOwner, {data}, result, [](FrameBlobs& blobs) {
    orvo::StoreResult(*blobs.result, MD5Digest(*blobs.input[0]));
    return S_OK;
  });
}

HRESULT CryptoMisc::SHA1(IDispatch* data, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOwner, {data}, result, [](FrameBlobs& blobs) {
    orvo::StoreResult(*blobs.result, SHA1Digest(*blobs.input[0]));
    return S_OK;
  });
}

HRESULT CryptoMisc::Random(LONG count, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOwner, {}, result, [count](FrameBlobs& blobs) {
    if (static_cast<uint32_t>(count) > kMaxRandomCount) return E_OUTOFMEMORY;
    orvo::StoreResult(*blobs.result, RandomBytes(static_cast<uint32_t>(count)));
    return S_OK;
  });
}

HRESULT CryptoMisc::CRC32(IDispatch* data, ULONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return orvo::RunMethodFrame(kOwner, {data}, nullptr, [result](FrameBlobs& blobs) {
    uint32_t reg = 0xFFFFFFFFu;
    *result = CRC32Update(reg, *blobs.input[0]);
    return S_OK;
  });
}

HRESULT CryptoMisc::InsertLongToBlob(IDispatch* blob, LONG position, LONG value) {
  return orvo::RunMethodFrame(kOwner, {blob}, nullptr, [=](FrameBlobs& blobs) {
    XBlob& target = *blobs.input[0];
    if (!ValidPosition(target, position)) return E_INVALIDARG;
    XBlob::CheckedSize(uint64_t{target.size} + 4);  // past 4 GiB - 1: E_OUTOFMEMORY, the Blob as it was
    XBlob number(4);
    number.InsertLong(static_cast<uint32_t>(value));
    target.Insert(number, static_cast<uint32_t>(position));
    return S_OK;
  });
}

HRESULT CryptoMisc::ExtractLongFromBlob(IDispatch* blob, LONG position, LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return orvo::RunMethodFrame(kOwner, {blob}, nullptr, [=](FrameBlobs& blobs) {
    XBlob& source = *blobs.input[0];
    if (!ValidPosition(source, position)) return E_INVALIDARG;
    const uint32_t at = static_cast<uint32_t>(position);
    size_t present = 0;
    const uint32_t value = orvo::codec::LoadLongZeroFilled(source.data + at, source.size - at, &present);
    orvo::RemoveBytes(source, at, static_cast<uint32_t>(present));
    *result = static_cast<LONG>(value);
    return S_OK;
  });
}

HRESULT CryptoMisc::InsertBlobToBlob(IDispatch* target, LONG position, IDispatch* source) {
  return orvo::RunMethodFrame(kOwner, {target, source}, nullptr, [=](FrameBlobs& blobs) {
    XBlob& into = *blobs.input[0];
    if (!ValidPosition(into, position)) return E_INVALIDARG;
    // Checked before the record (a copy of the source) is built: a result past
    // 4 GiB - 1 fails with E_OUTOFMEMORY and leaves the target as it was, also
    // when the source is the target.
    XBlob::CheckedSize(uint64_t{into.size} + 4 + blobs.input[1]->size);
    XBlob record(16);
    record.InsertBlob(*blobs.input[1]);
    into.Insert(record, static_cast<uint32_t>(position));
    return S_OK;
  });
}

HRESULT CryptoMisc::ExtractBlobFromBlob(IDispatch* blob, LONG position, IDispatch** result) {
  if (result == nullptr) return E_POINTER;
  return orvo::RunMethodFrame(kOwner, {blob}, result, [=](FrameBlobs& blobs) {
    XBlob& source = *blobs.input[0];
    if (!ValidPosition(source, position)) return E_INVALIDARG;
    const uint32_t at = static_cast<uint32_t>(position);
    blobs.result->size = 0;
    const uint32_t end = source.ExtractBlob(at, *blobs.result);
    orvo::RemoveBytes(source, at, end - at);
    return S_OK;
  });
}

const orvo::MemberTable* CryptoMisc::GetMemberTable() { return &kTable; }

}  // namespace orvo
