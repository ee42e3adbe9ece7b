#include "crypto/cipher_by_name.h"

#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"

namespace orvo {

namespace {

template <typename Cipher>
std::unique_ptr<XBlockCipher> Make() {
  return std::make_unique<Cipher>();
}

struct CipherRow {
  const char* name;
  std::unique_ptr<XBlockCipher> (*make)();
};

const CipherRow kCiphers[] = {
    {"aes", Make<XAES>},
    {"twofish", Make<XTwofish>},
    {"blowfish", Make<XBlowfish>},
};

bool SameIgnoringCase(std::string_view text, const char* lower) {
  size_t i = 0;
  for (; i < text.size() && lower[i] != '\0'; ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) return false;
  }
  return i == text.size() && lower[i] == '\0';
}

const CipherRow* RowNamed(std::string_view name) {
  for (const CipherRow& row : kCiphers) {
    if (SameIgnoringCase(name, row.name)) return &row;
  }
  return nullptr;
}

}  // namespace

const char* CipherName(std::string_view name) {
  const CipherRow* row = RowNamed(name);
  return row != nullptr ? row->name : nullptr;
}

std::unique_ptr<XBlockCipher> NewCipherNamed(std::string_view name) {
  const CipherRow* row = RowNamed(name);
  if (row == nullptr) return nullptr;
  std::unique_ptr<XBlockCipher> cipher = row->make();
  cipher->Setup(XBlockCipher::kModeECB, 0);
  return cipher;
}

}  // namespace orvo
