// CryptoAES, CryptoTwofish and CryptoBlowfish: the symmetric scripting
// classes. One class template over the block cipher; the three classes differ
// only in the cipher they hold and the class identifier and ProgIDs they give.
//
// State: the cipher, set up at creation with mode 1 (ECB), filler 0, a zeroed
// chaining register and no key. Mode is stored as given (values other than 1
// and 2 make Encrypt and Decrypt give empty results); Filler keeps the low 8
// bits. Neither a new key nor a change of mode resets the chaining register.
#pragma once

#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"
#include "objects/crypto_interfaces.h"
#include "xatlcom/comobject.h"
#include "xatlcom/dispatch.h"

namespace orvo {

// The class identity of each cipher.
template <class Cipher>
struct SymmetricClass;
template <>
struct SymmetricClass<XAES> {
  static constexpr const CLSID* kClassId = &CLSID_CryptoAES;
  static constexpr const char* kProgId = "Quelvar.OrvoCryptoAES.1";
  static constexpr const char* kVersionIndependentProgId = "Quelvar.OrvoCryptoAES";
};
template <>
struct SymmetricClass<XTwofish> {
  static constexpr const CLSID* kClassId = &CLSID_CryptoTwofish;
  static constexpr const char* kProgId = "Quelvar.OrvoCryptoTwofish.1";
  static constexpr const char* kVersionIndependentProgId = "Quelvar.OrvoCryptoTwofish";
};
template <>
struct SymmetricClass<XBlowfish> {
  static constexpr const CLSID* kClassId = &CLSID_CryptoBlowfish;
  static constexpr const char* kProgId = "Quelvar.OrvoCryptoBlowfish.1";
  static constexpr const char* kVersionIndependentProgId = "Quelvar.OrvoCryptoBlowfish";
};

template <class Cipher>
class CryptoSymmetric : public DispatchImpl<ICryptoSymmetric> {
 public:
  static constexpr const CLSID* kClassId = SymmetricClass<Cipher>::kClassId;
  static constexpr const char* kProgId = SymmetricClass<Cipher>::kProgId;
  static constexpr const char* kVersionIndependentProgId = SymmetricClass<Cipher>::kVersionIndependentProgId;
  static const InterfaceMapEntry kInterfaceMap[];

  CryptoSymmetric();  // allocates the chaining register
  ~CryptoSymmetric() override = default;

  // Blob members (the method frame). KeyGen takes the length as unsigned.
  HRESULT STDMETHODCALLTYPE KeyGen(IDispatch* seed, LONG length) override;
  HRESULT STDMETHODCALLTYPE get_Key(IDispatch** key) override;
  HRESULT STDMETHODCALLTYPE put_Key(IDispatch* key) override;
  HRESULT STDMETHODCALLTYPE Encrypt(IDispatch* data, IDispatch** result) override;
  HRESULT STDMETHODCALLTYPE Decrypt(IDispatch* data, IDispatch** result) override;
  // Plain state; these never fail (but for a null out pointer).
  HRESULT STDMETHODCALLTYPE get_Filler(LONG* filler) override;
  HRESULT STDMETHODCALLTYPE put_Filler(LONG filler) override;
  HRESULT STDMETHODCALLTYPE get_Mode(LONG* mode) override;
  HRESULT STDMETHODCALLTYPE put_Mode(LONG mode) override;
  const MemberTable* STDMETHODCALLTYPE GetMemberTable() override;

  const Cipher& cipher() const { return cipher_; }

 private:
  Cipher cipher_;
};

extern template class CryptoSymmetric<XAES>;
extern template class CryptoSymmetric<XTwofish>;
extern template class CryptoSymmetric<XBlowfish>;

using CryptoAES = CryptoSymmetric<XAES>;
using CryptoTwofish = CryptoSymmetric<XTwofish>;
using CryptoBlowfish = CryptoSymmetric<XBlowfish>;

}  // namespace orvo
