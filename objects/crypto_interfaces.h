// The dual interfaces of the scripting classes. After the seven operations of
// IDispatch each has its raw operations in a fixed slot order, then
// GetMemberTable. Every raw operation returns an HRESULT; inputs come first and
// a result is written through the last parameter.
#pragma once

#include "objects/guids.h"
#include "xatlcom/dispatch.h"
#include "xatlcom/platform.h"

// CryptoAES, CryptoTwofish and CryptoBlowfish.
struct ICryptoSymmetric : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE KeyGen(IDispatch* seed, LONG length) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Key(IDispatch** key) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Key(IDispatch* key) = 0;
  virtual HRESULT STDMETHODCALLTYPE Encrypt(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Decrypt(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Filler(LONG* filler) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filler(LONG filler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Mode(LONG* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Mode(LONG mode) = 0;
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~ICryptoSymmetric() = default;
};

// CryptoMisc.
struct ICryptoMisc : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE MD5(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE SHA1(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Random(LONG count, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE CRC32(IDispatch* data, ULONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertLongToBlob(IDispatch* blob, LONG position, LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExtractLongFromBlob(IDispatch* blob, LONG position, LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertBlobToBlob(IDispatch* target, LONG position, IDispatch* source) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExtractBlobFromBlob(IDispatch* blob, LONG position, IDispatch** result) = 0;
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~ICryptoMisc() = default;
};

// CryptoRSA.
struct ICryptoRSA : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE SetIV(IDispatch* bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE KeyGen(IDispatch* firstSeed, IDispatch* secondSeed, LONG size) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PublicKey(IDispatch** key) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PublicKey(IDispatch* key) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PrivateKey(IDispatch** key) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PrivateKey(IDispatch* key) = 0;
  virtual HRESULT STDMETHODCALLTYPE Encrypt(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Decrypt(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Sign(IDispatch* data, IDispatch** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Verify(IDispatch* data, IDispatch* signature, LONG* result) = 0;
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~ICryptoRSA() = default;
};
