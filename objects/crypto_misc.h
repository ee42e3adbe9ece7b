// CryptoMisc: MD5, SHA-1 (FIPS 180-1), CRC-32, random bytes, and members that
// insert and extract 32-bit numbers and length-prefixed byte strings in a Blob.
// The object keeps no state of its own.
//
// Positions are byte offsets from 0 to the Blob's size; any other position
// gives E_INVALIDARG and changes nothing. Numbers are written and read most
// significant byte first.
//
// ExtractLongFromBlob with fewer than four bytes after the position reads only
// the bytes present, as the high-order bytes of the value, and counts the
// missing low-order bytes as zero (00 0A at the end of a Blob gives 0x000A0000);
// it removes the bytes present. Nothing past the Blob's end is read.
#pragma once

#include "objects/crypto_interfaces.h"
#include "xatlcom/comobject.h"
#include "xatlcom/dispatch.h"

namespace orvo {

class CryptoMisc : public orvo::DispatchImpl<ICryptoMisc> {
 public:
  static constexpr const CLSID* kClassId = &CLSID_CryptoMisc;
  static constexpr const char* kProgId = "Quelvar.OrvoCryptoMisc.1";
  static constexpr const char* kVersionIndependentProgId = "Quelvar.OrvoCryptoMisc";
  static const orvo::InterfaceMapEntry kInterfaceMap[];

  CryptoMisc() noexcept = default;
  ~CryptoMisc() override = default;

  HRESULT STDMETHODCALLTYPE MD5(IDispatch* data, IDispatch** result) override;
  HRESULT STDMETHODCALLTYPE SHA1(IDispatch* data, IDispatch** result) override;
  // The count is taken as unsigned; counts above 0x7FFFFFFF (every negative
  // number) fail with E_OUTOFMEMORY and no text, before anything is allocated.
  HRESULT STDMETHODCALLTYPE Random(LONG count, IDispatch** result) override;
  HRESULT STDMETHODCALLTYPE CRC32(IDispatch* data, ULONG* result) override;
  HRESULT STDMETHODCALLTYPE InsertLongToBlob(IDispatch* blob, LONG position, LONG value) override;
  HRESULT STDMETHODCALLTYPE ExtractLongFromBlob(IDispatch* blob, LONG position, LONG* result) override;
  // The record (size, then bytes) is built apart first, so source and target
  // may be one Blob.
  HRESULT STDMETHODCALLTYPE InsertBlobToBlob(IDispatch* target, LONG position, IDispatch* source) override;
  // "Data is corrupted" / "XBlob" when no whole record starts at the position;
  // the Blob is then unchanged.
  HRESULT STDMETHODCALLTYPE ExtractBlobFromBlob(IDispatch* blob, LONG position, IDispatch** result) override;
  const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() override;
};

}  // namespace orvo
