// CryptoRSA: RSA key generation from two seeds, the public and private key
// blobs as properties, encryption, decryption, signing and verification
// (PKCS #1 style, rsa/rsa_operations.h), over one XRSAKey.
//
// Members with two input Blobs (KeyGen, Verify) take, lock, read and unlock
// them first to second and release them second to first. Encrypt, Decrypt,
// Sign and Verify turn every exception into an HRESULT; SetIV, KeyGen and the
// key properties catch alarms only and let anything else reach the
// dispatcher, after unlocking and releasing their Blobs. A rejected
// PublicKey or PrivateKey put leaves the key as it was.
#pragma once

#include "objects/crypto_interfaces.h"
#include "rsa/rsa_key.h"
#include "xatlcom/comobject.h"
#include "xatlcom/dispatch.h"

namespace orvo {

class CryptoRSA : public orvo::DispatchImpl<ICryptoRSA> {
 public:
  static constexpr const CLSID* kClassId = &CLSID_CryptoRSA;
  static constexpr const char* kProgId = "Quelvar.OrvoCryptoRSA.1";
  static constexpr const char* kVersionIndependentProgId = "Quelvar.OrvoCryptoRSA";
  static const orvo::InterfaceMapEntry kInterfaceMap[];

  CryptoRSA() = default;  // the key allocates its numbers
  ~CryptoRSA() override = default;

  HRESULT STDMETHODCALLTYPE SetIV(IDispatch* bytes) override;
  // The size (bytes of modulus) is taken as unsigned: 64, 128 or 256 follow.
  HRESULT STDMETHODCALLTYPE KeyGen(IDispatch* firstSeed, IDispatch* secondSeed, LONG size) override;
  HRESULT STDMETHODCALLTYPE get_PublicKey(IDispatch** key) override;
  HRESULT STDMETHODCALLTYPE put_PublicKey(IDispatch* key) override;
  HRESULT STDMETHODCALLTYPE get_PrivateKey(IDispatch** key) override;
  HRESULT STDMETHODCALLTYPE put_PrivateKey(IDispatch* key) override;
  HRESULT STDMETHODCALLTYPE Encrypt(IDispatch* data, IDispatch** result) override;
  HRESULT STDMETHODCALLTYPE Decrypt(IDispatch* data, IDispatch** result) override;
  HRESULT STDMETHODCALLTYPE Sign(IDispatch* data, IDispatch** result) override;
  // 1 for a valid signature, else 0; a wrong signature is not a failure.
  HRESULT STDMETHODCALLTYPE Verify(IDispatch* data, IDispatch* signature, LONG* result) override;
  const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() override;

  const XRSAKey& key() const { return key_; }

 private:
  XRSAKey key_;
};

}  // namespace orvo
