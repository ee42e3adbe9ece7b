// Symmetric cipher commands: keygen, encrypt, decrypt.
//
// Each command works on a fresh cipher, set up as a scripting object sets up
// its own (ECB, filler 0, zero chaining register), so sealed data made here is
// what an object's Encrypt gives on its first call.
#include <memory>
#include <string>
#include <vector>

#include "crypto/aes.h"
#include "crypto/block_cipher.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"
#include "tools/orvocrypto/command.h"

namespace orvo::cli {
namespace {

template <typename Cipher>
std::unique_ptr<XBlockCipher> Make() {
  return std::make_unique<Cipher>();
}

struct CipherRow {
  const char* name;
  std::unique_ptr<XBlockCipher> (*make)();
};

// One row per cipher the tool offers.
const CipherRow kCiphers[] = {
    {"aes", Make<XAES>},
    {"twofish", Make<XTwofish>},
    {"blowfish", Make<XBlowfish>},
};

// The names the commands accept, built in or not.
const char* const kCipherNames[] = {"aes", "twofish", "blowfish"};

std::unique_ptr<XBlockCipher> NewCipher(const Arguments& args) {
  if (args.Positional().empty()) throw UsageError("missing CIPHER (aes, twofish or blowfish)");
  const std::string& name = args.Positional()[0];
  for (const CipherRow& row : kCiphers) {
    if (name == row.name) {
      std::unique_ptr<XBlockCipher> cipher = row.make();
      cipher->Setup(XBlockCipher::kModeECB, 0);
      return cipher;
    }
  }
  for (const char* known : kCipherNames) {
    if (name == known) throw UsageError("cipher '" + name + "' is not available in this build");
  }
  throw UsageError("unknown cipher '" + name + "' (aes, twofish or blowfish)");
}

int RunKeygen(const Arguments& args, const std::vector<std::string>&) {
  args.AtMostPositional(1);
  std::unique_ptr<XBlockCipher> cipher = NewCipher(args);
  const uint32_t length = args.Number32("length");  // taken unsigned: -1 asks for the largest key
  cipher->GenerateKey(ReadInput(args.Value("seed")), length);
  WriteResult(args, cipher->GetKey());
  return 0;
}

// "ecb", "cbc" or a number stored as the Mode property stores it (any other
// value makes the engine give empty results).
uint32_t ModeOf(const Arguments& args) {
  const std::string mode = args.ValueOr("mode", "ecb");
  if (mode == "ecb") return XBlockCipher::kModeECB;
  if (mode == "cbc") return XBlockCipher::kModeCBC;
  return args.Number32("mode");
}

int RunSymmetric(const Arguments& args, bool encrypt) {
  args.AtMostPositional(2);
  std::unique_ptr<XBlockCipher> cipher = NewCipher(args);
  const uint32_t mode = ModeOf(args);
  const uint32_t filler = args.Has("filler") ? args.Number32("filler") : 0;
  const XBlob input = ReadInput(args.Positional().size() > 1 ? args.Positional()[1] : "-");
  cipher->SetKey(ReadInput(args.Value("key")));
  cipher->mode = mode;
  cipher->filler = static_cast<uint8_t>(filler);  // the low 8 bits, as the Filler property keeps them
  WriteResult(args, encrypt ? cipher->Encrypt(input) : cipher->Decrypt(input));
  return 0;
}

int RunEncrypt(const Arguments& args, const std::vector<std::string>&) { return RunSymmetric(args, true); }
int RunDecrypt(const Arguments& args, const std::vector<std::string>&) { return RunSymmetric(args, false); }

const OrvoCommandRegistration kKeygen({"keygen", "keygen aes|twofish|blowfish --seed FILE --length N [--hex] [-o FILE]",
                                       "the key blob generated from the seed bytes in FILE for a key of N bytes",
                                       RunKeygen, {"seed", "length", "output"}, {"hex"}});
const OrvoCommandRegistration kEncrypt(
    {"encrypt",
     "encrypt aes|twofish|blowfish --key KEYFILE [--mode ecb|cbc|N] [--filler N] [FILE] [--hex] [-o FILE]",
     "seal FILE or standard input: pad with the filler byte, encipher in ECB or CBC (zero IV)", RunEncrypt,
     {"key", "mode", "filler", "output"}, {"hex"}});
const OrvoCommandRegistration kDecrypt(
    {"decrypt",
     "decrypt aes|twofish|blowfish --key KEYFILE [--mode ecb|cbc|N] [FILE] [--hex] [-o FILE]",
     "open sealed data from FILE or standard input; the padding stays in place", RunDecrypt,
     {"key", "mode", "filler", "output"}, {"hex"}});

}  // namespace
}  // namespace orvo::cli
