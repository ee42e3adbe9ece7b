// orvocrypto.RSAKey: an RSA key pair with the members of the RSA scripting
// object (KeyGen, PublicKey, PrivateKey, SetIV, Encrypt, Decrypt, Sign, Verify).
#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <vector>

#include "base/alarm.h"
#include "bytes_io.h"
#include "digest/sha1.h"
#include "rsa/rsa_key.h"

namespace orvopy {
namespace {

// Loads a key blob as one step: when the load fails part-way (a field past
// the end after some numbers were read), the key's numbers, size and halves
// are put back as they were.
template <class Load>
void LoadWhole(XRSAKey& key, Load&& load) {
  static constexpr XBigInt XRSAKey::*kNumbers[] = {&XRSAKey::p, &XRSAKey::q,  &XRSAKey::n,  &XRSAKey::e,
                                                   &XRSAKey::d, &XRSAKey::dP, &XRSAKey::dQ, &XRSAKey::qInv};
  std::vector<XBigInt> numbers;
  numbers.reserve(std::size(kNumbers));
  for (auto number : kNumbers) numbers.push_back(key.*number);
  const uint32_t size = key.size;
  const uint32_t flags = key.flags;
  try {
    load();
  } catch (...) {
    for (size_t i = 0; i < numbers.size(); ++i) key.*kNumbers[i] = std::move(numbers[i]);
    key.size = size;
    key.flags = flags;
    throw;
  }
}

class RSAKey {
 public:
  void KeyGen(BytesLike seed1, BytesLike seed2, IntArg size) {
    const XBlob first = ByteView(seed1, "seed1").Blob();
    const XBlob second = ByteView(seed2, "seed2").Blob();
    const uint32_t n = Number32(size, "size");
    Unlocked(lock_, [&] { key_.GenerateKey(first, second, n); });
  }

  py::bytes GetPublic() { return GetHalf(XRSAKey::kPublicHalf); }
  py::bytes GetPrivate() { return GetHalf(XRSAKey::kPrivateHalf); }

  void SetPublic(BytesLike blob) {
    const XBlob bytes = ByteView(blob, "public_blob").Blob();
    Unlocked(lock_, [&] { LoadWhole(key_, [&] { key_.SetPublicBlob(bytes); }); });
  }

  void SetPrivate(BytesLike blob) {
    const XBlob bytes = ByteView(blob, "private_blob").Blob();
    Unlocked(lock_, [&] { LoadWhole(key_, [&] { key_.SetPrivateBlob(bytes); }); });
  }

  void SetIV(BytesLike label) {
    const XBlob bytes = ByteView(label, "data").Blob();
    Unlocked(lock_, [&] { key_.SetIV(bytes); });
  }

  py::bytes Encrypt(BytesLike data) { return Run(data, &XRSAKey::Encrypt); }
  py::bytes Decrypt(BytesLike data) { return Run(data, &XRSAKey::Decrypt); }
  py::bytes Sign(BytesLike data) { return Run(data, &XRSAKey::Sign); }

  bool Verify(BytesLike data, BytesLike signature) {
    const XBlob message = ByteView(data, "data").Blob();
    const XBlob sig = ByteView(signature, "signature").Blob();
    return Unlocked(lock_, [&] { return key_.Verify(message, sig) != 0; });
  }

  // Signing and verifying data fed piece by piece: the pieces are hashed as
  // they come, so no copy of the data is kept.
  void Update(BytesLike data) {
    const ByteView in(data, "data");  // holds the exporter: a bytearray stays put without the GIL
    Unlocked(lock_, [&] { fed_.Update(in.data(), in.size()); });
  }

  py::bytes SignFinal() {
    return ToBytes(Unlocked(lock_, [&] { return key_.SignDigest(fed_.Finish()); }));
  }

  bool VerifyFinal(BytesLike signature) {
    const XBlob sig = ByteView(signature, "signature").Blob();
    return Unlocked(lock_, [&] { return key_.VerifyDigest(fed_.Finish(), sig) != 0; });
  }

 private:
  // The key blob of one half. A half the key does not hold is "Invalid key -
  // RSA", as in the C library (the scripting object gives a blob of zeros).
  py::bytes GetHalf(uint32_t half) {
    return ToBytes(Unlocked(lock_, [&] {
      if ((key_.flags & half) == 0) throw XCryptoAlarm(alarm_text::kInvalidKey, "RSA");
      XBlob out;
      if (half == XRSAKey::kPublicHalf) {
        key_.GetPublicBlob(out);
      } else {
        key_.GetPrivateBlob(out);
      }
      return out;
    }));
  }

  py::bytes Run(py::handle data, XBlob (XRSAKey::*operation)(const XBlob&) const) {
    const XBlob input = ByteView(data, "data").Blob();
    return ToBytes(Unlocked(lock_, [&] { return (key_.*operation)(input); }));
  }

  XRSAKey key_;
  orvo::Sha1Stream fed_;  // the data of update since the last final
  std::mutex lock_;
};

}  // namespace

void BindRSA(py::module_& m) {
  py::class_<RSAKey> cls(m, "RSAKey",
                     "An RSA key pair, or either half of one, with the members of the RSA\n"
                     "scripting object. RSAKey() has no key; load the halves through public_blob\n"
                     "and private_blob, or make a key with RSAKey.from_seeds or keygen.");
  cls.attr("__module__") = "orvocrypto";
  cls.def(py::init<>())
      .def_static(
          "from_seeds",
          [](BytesLike seed1, BytesLike seed2, IntArg size) {
            auto key = std::make_unique<RSAKey>();
            key->KeyGen(seed1, seed2, size);
            return key;
          },
          py::arg("seed1"), py::arg("seed2"), py::arg("size"),
          "A new key pair derived from the two seeds alone, as KeyGen makes it.\n"
          "size is the modulus size in bytes, rounded to a class: up to 64 gives 512\n"
          "bits, 65 to 128 gives 1024 bits, above 2048 bits (negative: 2**32 + size).\n"
          "Equal seeds give two consecutive primes, a modulus that one step of Fermat's\n"
          "method factors: the derivation stays so that stored keys can be regenerated,\n"
          "so pass two different random seeds.")
      .def("keygen", Checked(&RSAKey::KeyGen), py::arg("seed1"), py::arg("seed2"), py::arg("size"),
           "Replaces the key by the pair from_seeds makes; the label stays.")
      .def_property("public_blob", Checked(&RSAKey::GetPublic), Checked(&RSAKey::SetPublic),
                    "The public key blob (bytes): 4-byte size, then the records n and e.\n"
                    "Once both halves are present only blobs of the same key are accepted;\n"
                    "a refused blob raises AlarmError and leaves the key as it was.")
      .def_property("private_blob", Checked(&RSAKey::GetPrivate), Checked(&RSAKey::SetPrivate),
                    "The private key blob (bytes): 4-byte size, then n, d, p, q, dP, dQ, qInv.")
      .def("set_iv", Checked(&RSAKey::SetIV), py::arg("data"),
           "Sets the label whose SHA-1 digest is bound into every encrypted block;\n"
           "decrypt needs the same label. The default is four zero bytes.")
      .def("encrypt", Checked(&RSAKey::Encrypt), py::arg("data"),
           "Encrypts data of any length: chunks of size - 42 bytes, one size-byte block\n"
           "each, with a fresh random padding seed (two encryptions differ).")
      .def("decrypt", Checked(&RSAKey::Decrypt), py::arg("data"),
           "The data from whole blocks. Damaged data, a wrong key or another label raise\n"
           "AlarmError 'Crypto System: Unable to decrypt data - RSA'.")
      .def("sign", Checked(&RSAKey::Sign), py::arg("data"),
           "One signature block of size bytes over the SHA-1 digest of the data.")
      .def("verify", Checked(&RSAKey::Verify), py::arg("data"), py::arg("signature"),
           "True when the signature matches the data, else False (a wrong signature is\n"
           "never an error; a key without its public half is).")
      .def("update", Checked(&RSAKey::Update), py::arg("data"),
           "Feeds a piece of the data to sign or verify: sign_final and verify_final\n"
           "then give what sign and verify give for everything fed since the last final.")
      .def("sign_final", Checked(&RSAKey::SignFinal),
           "The signature of everything fed by update since the last final; the feed\n"
           "starts anew, also when signing fails (a key without its private half).")
      .def("verify_final", Checked(&RSAKey::VerifyFinal), py::arg("signature"),
           "Checks the signature against everything fed by update since the last final,\n"
           "as verify does; the feed starts anew, also when verifying fails.");
}

}  // namespace orvopy
