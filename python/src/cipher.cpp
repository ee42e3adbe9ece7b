// orvocrypto.Cipher: one block cipher with the members of the symmetric
// scripting objects (KeyGen, Key, Encrypt, Decrypt, Mode, Filler).
#include <pybind11/pybind11.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "base/ascii.h"
#include "base/wipe.h"
#include "bytes_io.h"
#include "crypto/cipher_by_name.h"
#include "crypto/filler.h"

namespace orvopy {
namespace {

// Keeps a copy of the chaining register and puts it back unless the call
// completes, so a call that fails part-way (memory running out after some
// blocks were chained) leaves the register as the next call expects it.
class ChainGuard {
 public:
  explicit ChainGuard(XBlockCipher& cipher) : cipher_(cipher) {
    if (cipher.chain != nullptr) std::memcpy(saved_, cipher.chain, cipher.BlockSize());
  }
  ~ChainGuard() {
    if (!done_ && cipher_.chain != nullptr) std::memcpy(cipher_.chain, saved_, cipher_.BlockSize());
    orvo::SecureWipe(saved_, sizeof saved_);
  }
  ChainGuard(const ChainGuard&) = delete;
  ChainGuard& operator=(const ChainGuard&) = delete;
  void Done() { done_ = true; }

 private:
  XBlockCipher& cipher_;
  uint8_t saved_[16];
  bool done_ = false;
};

class Cipher {
 public:
  explicit Cipher(const std::string& name) {
    cipher_ = orvo::NewCipherNamed(name);
    name_ = orvo::CipherName(name);
    if (cipher_ == nullptr) {
      // repr() shows the name whole: Python's error text ends at a NUL byte.
      const std::string shown = py::repr(py::str(name));
      throw py::value_error("unknown cipher " + shown + " (" + orvo::kCipherNames + ")");
    }
  }

  void KeyGen(BytesLike seed, IntArg length) {
    const XBlob bytes = ByteView(seed, "seed").Blob();
    const uint32_t n = Number32(length, "length");
    Unlocked(lock_, [&] { cipher_->GenerateKey(bytes, n); });
  }

  py::bytes GetKey() {
    return ToBytes(Unlocked(lock_, [&] { return cipher_->GetKey(); }));
  }

  void SetKey(BytesLike blob) {
    const XBlob bytes = ByteView(blob, "key").Blob();
    Unlocked(lock_, [&] { cipher_->SetKey(bytes); });
  }

  int GetMode() {
    return static_cast<int>(Unlocked(lock_, [&] { return cipher_->mode; }));
  }

  // 1 or "ecb", 2 or "cbc". The scripting objects also store other numbers,
  // after which Encrypt and Decrypt return nothing; here they are refused.
  void SetMode(ModeArg mode) {
    uint32_t value = 0;
    if (PyUnicode_Check(mode.ptr())) {
      // A str that has no UTF-8 form (a lone surrogate) names no mode either.
      Py_ssize_t length = 0;
      const char* utf8 = PyUnicode_AsUTF8AndSize(mode.ptr(), &length);
      if (utf8 == nullptr) {
        PyErr_Clear();
      } else {
        const std::string text = orvo::AsciiLower(std::string(utf8, static_cast<size_t>(length)));
        value = text == "ecb" ? XBlockCipher::kModeECB : text == "cbc" ? XBlockCipher::kModeCBC : 0;
      }
    } else if (PyLong_Check(mode.ptr())) {
      const long v = PyLong_AsLong(mode.ptr());
      if (v == -1 && PyErr_Occurred()) PyErr_Clear();
      value = v == 1 || v == 2 ? static_cast<uint32_t>(v) : 0;
    } else {
      throw py::type_error(std::string("mode must be 1, 2, 'ecb' or 'cbc', not '") + Py_TYPE(mode.ptr())->tp_name +
                           "'");
    }
    if (value == 0) throw py::value_error("mode must be 1, 2, 'ecb' or 'cbc'");
    Unlocked(lock_, [&] { cipher_->mode = value; });
  }

  int GetFiller() {
    return Unlocked(lock_, [&] { return cipher_->filler; });
  }

  // The low 8 bits of any int, as the Filler property takes them.
  void SetFiller(IntArg filler) {
    RequireInt(filler, "filler");
    const uint8_t low = static_cast<uint8_t>(PyLong_AsUnsignedLongMask(filler.ptr()) & 0xFF);
    Unlocked(lock_, [&] { cipher_->filler = low; });
  }

  py::bytes Encrypt(BytesLike data) {
    const ByteView in(data, "data");
    const size_t bs = cipher_->BlockSize();
    const size_t whole = in.size() - in.size() % bs;
    py::bytes out = NewBytes(whole + (in.size() == whole ? 0 : bs));
    uint8_t* to = BytesData(out);
    Unlocked(lock_, [&] {
      NoStreamOpen();
      ChainGuard chain(*cipher_);
      const size_t written = cipher_->EncryptBlocks(in.data(), to, whole);
      cipher_->EncryptFinal(in.data() + whole, in.size() - whole, to + written);
      chain.Done();
    });
    return out;
  }

  py::bytes Decrypt(BytesLike data) {
    const ByteView in(data, "data");
    py::bytes out = NewBytes(in.size());
    uint8_t* to = BytesData(out);
    Unlocked(lock_, [&] {
      NoStreamOpen();
      ChainGuard chain(*cipher_);
      cipher_->DecryptBlocks(in.data(), to, in.size());
      chain.Done();
    });
    return out;
  }

  const char* Name() const { return name_; }
  int BlockSize() const { return static_cast<int>(cipher_->BlockSize()); }

  // The chaining register: zeros until the cipher first chains.
  py::bytes GetIV() {
    const size_t bs = cipher_->BlockSize();
    py::bytes out = NewBytes(bs);
    uint8_t* to = BytesData(out);
    Unlocked(lock_, [&] {
      if (cipher_->chain != nullptr) {
        std::memcpy(to, cipher_->chain, bs);
      } else {
        std::memset(to, 0, bs);
      }
    });
    return out;
  }

  void SetIV(BytesLike iv) {
    const ByteView in(iv, "iv");
    const size_t bs = cipher_->BlockSize();
    if (in.size() != bs) {
      throw py::value_error("iv must be " + std::to_string(bs) + " bytes (the block size), not " +
                            std::to_string(in.size()));
    }
    uint8_t block[16];
    std::memcpy(block, in.data(), bs);
    Unlocked(lock_, [&] {
      NoStreamOpen();
      if (cipher_->chain == nullptr) cipher_->Setup(cipher_->mode, cipher_->filler);
      std::memcpy(cipher_->chain, block, bs);
    });
    orvo::SecureWipe(block, sizeof block);
  }

  py::bytes StripFiller(BytesLike data) {
    const ByteView in(data, "data");
    const uint8_t filler = Unlocked(lock_, [&] { return cipher_->filler; });
    const size_t kept = orvo::WithoutFiller(in.data(), in.size(), cipher_->BlockSize(), filler);
    return py::bytes(reinterpret_cast<const char*>(in.data()), kept);
  }

  py::bytes EncryptUpdate(BytesLike data) { return Update(data, Stream::kEncrypting); }
  py::bytes DecryptUpdate(BytesLike data) { return Update(data, Stream::kDecrypting); }

  py::bytes EncryptFinal() {
    const size_t bs = cipher_->BlockSize();
    py::bytes out = NewBytes(bs);
    uint8_t* to = BytesData(out);
    const size_t written = Unlocked(lock_, [&] {
      OpenStream(Stream::kEncrypting);
      StreamCloser closer{*this};
      return cipher_->EncryptFinal(pending_, held_, to);
    });
    return Shrunk(std::move(out), written);
  }

  // A partial block left fails as one decrypt of the whole input would.
  void DecryptFinal() {
    Unlocked(lock_, [&] {
      OpenStream(Stream::kDecrypting);
      StreamCloser closer{*this};
      uint8_t block[16];
      cipher_->DecryptBlocks(pending_, block, held_);
      orvo::SecureWipe(block, sizeof block);
    });
  }

  ~Cipher() { orvo::SecureWipe(pending_, sizeof pending_); }

 private:
  enum class Stream { kNone, kEncrypting, kDecrypting };

  // Called with the lock held.
  void NoStreamOpen() const {
    if (stream_ == Stream::kEncrypting) throw std::runtime_error("an encryption stream is open (encrypt_final ends it)");
    if (stream_ == Stream::kDecrypting) throw std::runtime_error("a decryption stream is open (decrypt_final ends it)");
  }
  void OpenStream(Stream direction) const {
    if (stream_ != direction) NoStreamOpen();
  }

  // Closes the stream when a final ends, whether it succeeds or not.
  struct StreamCloser {
    Cipher& c;
    ~StreamCloser() {
      orvo::SecureWipe(c.pending_, sizeof c.pending_);
      c.held_ = 0;
      c.stream_ = Stream::kNone;
    }
  };

  // Feeds a piece to the stream in `direction`: the pending bytes and the
  // piece's whole blocks go through the cipher straight into the result (one
  // block joined in a scratch block where pending bytes start it), the rest
  // waits. A failure consumes nothing and leaves the register as it was.
  py::bytes Update(py::handle data, Stream direction) {
    const ByteView in(data, "data");
    const size_t bs = cipher_->BlockSize();
    py::bytes out = NewBytes(in.size() + bs);  // at most: fewer than bs bytes were pending
    uint8_t* to = BytesData(out);
    const size_t written = Unlocked(lock_, [&] {
      OpenStream(direction);
      const bool encrypting = direction == Stream::kEncrypting;
      const auto run = [&](const uint8_t* from, uint8_t* into, size_t n) {
        return encrypting ? cipher_->EncryptBlocks(from, into, n) : cipher_->DecryptBlocks(from, into, n);
      };
      ChainGuard chain(*cipher_);
      const uint8_t* rest = in.data();
      size_t left = in.size();
      size_t made = 0;
      if (held_ + left < bs) {
        run(rest, to, 0);  // no whole block: a cipher without a key still fails at once
        if (left != 0) std::memcpy(pending_ + held_, rest, left);
        held_ += left;
      } else {
        if (held_ != 0) {
          uint8_t first[16];
          std::memcpy(first, pending_, held_);
          std::memcpy(first + held_, rest, bs - held_);
          made = run(first, to, bs);
          orvo::SecureWipe(first, sizeof first);
          rest += bs - held_;
          left -= bs - held_;
        }
        const size_t whole = left / bs * bs;
        made += run(rest, to + made, whole);
        if (left != whole) std::memcpy(pending_, rest + whole, left - whole);
        held_ = left - whole;
      }
      chain.Done();
      stream_ = direction;
      return made;
    });
    return Shrunk(std::move(out), written);
  }

  // The first n bytes of a bytes object made for more.
  static py::bytes Shrunk(py::bytes out, size_t n) {
    if (static_cast<size_t>(PyBytes_GET_SIZE(out.ptr())) == n) return out;
    PyObject* raw = out.release().ptr();
    if (_PyBytes_Resize(&raw, static_cast<Py_ssize_t>(n)) != 0) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(raw);
  }

  std::unique_ptr<XBlockCipher> cipher_;
  const char* name_ = "";
  std::mutex lock_;
  Stream stream_ = Stream::kNone;
  uint8_t pending_[16] = {};  // bytes of an open stream short of a whole block
  size_t held_ = 0;
};

}  // namespace

void BindCipher(py::module_& m) {
  py::class_<Cipher> cls(m, "Cipher",
                     "A block cipher with the members of the symmetric scripting objects.\n\n"
                     "Cipher('aes'), Cipher('twofish') or Cipher('blowfish') (any case). A new\n"
                     "cipher has no key, mode 1 (ECB), filler 0 and an all-zero chaining block.");
  cls.attr("__module__") = "orvocrypto";
  cls.def(py::init<const std::string&>(), py::arg("name"))
      .def("keygen", Checked(&Cipher::KeyGen), py::arg("seed"), py::arg("length"),
           "Makes the key from the seed's bytes alone, as KeyGen does: the same seed and\n"
           "length give the same key blob. Key lengths by requested length n: AES 16\n"
           "bytes for n < 24, 24 for n < 32, else 32; Twofish 16, 24, 32 for n up to 16,\n"
           "up to 24, above; Blowfish n clamped to 8..56. Negative n counts as 2**32 + n.")
      .def_property("key", Checked(&Cipher::GetKey), Checked(&Cipher::SetKey),
                    "The key blob (bytes): a 4-byte big-endian count, then the key bytes. Reading\n"
                    "it without a key raises AlarmError; setting a malformed blob raises\n"
                    "AlarmError and keeps the earlier key.")
      .def_property("mode", Checked(&Cipher::GetMode), Checked(&Cipher::SetMode),
                    "1 (ECB, the default) or 2 (CBC); 'ecb' and 'cbc' are accepted when setting.\n"
                    "Changing it does not reset the chaining block.")
      .def_property("filler", Checked(&Cipher::GetFiller), Checked(&Cipher::SetFiller),
                    "The padding byte, 0 to 255 (the low 8 bits of the int set; default 0).")
      .def("encrypt", Checked(&Cipher::Encrypt), py::arg("data"),
           "Pads the data with the filler byte to whole blocks (nothing when it already is\n"
           "whole blocks) and enciphers it in the mode. In CBC the chaining block carries\n"
           "over from call to call: after encrypt it is the last ciphertext block.")
      .def("decrypt", Checked(&Cipher::Decrypt), py::arg("data"),
           "Deciphers whole blocks; the padding is not removed. After an ECB decrypt the\n"
           "chaining block is the last plaintext block, after a CBC decrypt the last\n"
           "ciphertext block. A length that is not whole blocks raises AlarmError\n"
           "'Crypto System: Unable to decrypt data' and changes nothing.")
      .def_property("iv", Checked(&Cipher::GetIV), Checked(&Cipher::SetIV),
                    "The chaining block (bytes of block_size): the CBC initialisation vector of\n"
                    "the next call. Zeros on a new cipher; encrypt and decrypt move it on.\n"
                    "Setting it takes exactly block_size bytes (else ValueError) and is refused\n"
                    "while a stream is open (RuntimeError).")
      .def("strip_filler", Checked(&Cipher::StripFiller), py::arg("data"),
           "The data without its trailing filler: at most block_size - 1 trailing bytes\n"
           "equal to the filler, the padding encrypt added. Sealed data records no\n"
           "length, so plain data that itself ends in filler bytes loses them too.")
      .def("encrypt_update", Checked(&Cipher::EncryptUpdate), py::arg("data"),
           "Feeds a piece of any size to an encryption stream and returns the whole\n"
           "blocks ready so far; encrypt_final returns the padded rest. The bytes are\n"
           "those of one encrypt over the whole input. While a stream is open, encrypt,\n"
           "decrypt, setting iv and the other direction raise RuntimeError.")
      .def("encrypt_final", Checked(&Cipher::EncryptFinal),
           "Ends the encryption stream: the rest padded with the filler (b'' or one block).")
      .def("decrypt_update", Checked(&Cipher::DecryptUpdate), py::arg("data"),
           "Feeds a piece of any size to a decryption stream and returns the whole\n"
           "blocks deciphered so far (the padding stays, as with decrypt).")
      .def("decrypt_final", Checked(&Cipher::DecryptFinal),
           "Ends the decryption stream; AlarmError 'Crypto System: Unable to decrypt\n"
           "data' when a partial block is left. The stream is closed either way.")
      .def_property_readonly("name", Checked(&Cipher::Name), "'aes', 'twofish' or 'blowfish'.")
      .def_property_readonly("block_size", Checked(&Cipher::BlockSize), "16 (AES, Twofish) or 8 (Blowfish).")
      .def("__repr__", [](const Cipher* c) {
        RequireInitialised(c);
        return std::string("orvocrypto.Cipher('") + c->Name() + "')";
      });
}

}  // namespace orvopy
