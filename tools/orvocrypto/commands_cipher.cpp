// Symmetric cipher commands: keygen, encrypt, decrypt.
//
// Each command works on a fresh cipher, set up as a scripting object sets up
// its own (ECB, filler 0, zero chaining register), so sealed data made here is
// what an object's Encrypt gives on its first call. Data streams through the
// cipher a chunk at a time with the chaining register carried along, which
// gives the bytes of one call over the whole input.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "base/ascii.h"
#include "crypto/block_cipher.h"
#include "crypto/cipher_by_name.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"

namespace orvo::cli {
namespace {

std::unique_ptr<XBlockCipher> NewCipher(const Arguments& args) {
  if (args.Positional().empty()) throw UsageError(std::string("missing CIPHER (") + kCipherNames + ")");
  std::unique_ptr<XBlockCipher> cipher = NewCipherNamed(args.Positional()[0]);
  if (cipher == nullptr) {
    throw UsageError("unknown cipher '" + args.Positional()[0] + "' (" + kCipherNames + ")");
  }
  return cipher;
}

// The seed: a file's bytes as they are (--seed), or a pass phrase from a file
// or an environment variable with one trailing newline dropped.
XBlob Seed(const Arguments& args) {
  const int given = (args.Has("seed") ? 1 : 0) + (args.Has("passphrase-file") ? 1 : 0) + (args.Has("passphrase-env") ? 1 : 0);
  if (given != 1) throw UsageError("give one of --seed, --passphrase-file and --passphrase-env");
  if (args.Has("passphrase-env")) {
    const std::string name = args.Value("passphrase-env");
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) throw ToolFailure("the environment variable " + name + " is not set");
    // Straight into the seed's buffer, which is wiped: no other copy is made.
    size_t length = std::strlen(value);
    if (length > 0xFFFFFFF0u) throw ToolFailure("the environment variable " + name + " is too long");
    if (length != 0 && value[length - 1] == '\n') --length;
    if (length != 0 && value[length - 1] == '\r') --length;
    XBlob seed(16);
    seed.Append(reinterpret_cast<const uint8_t*>(value), static_cast<uint32_t>(length));
    return seed;
  }
  if (args.Has("passphrase-file")) {
    XBlob seed = ReadWholeFile(args.Value("passphrase-file"));
    if (seed.size != 0 && seed.data[seed.size - 1] == '\n') --seed.size;
    if (seed.size != 0 && seed.data[seed.size - 1] == '\r') --seed.size;
    return seed;
  }
  const std::string path = args.Value("seed");
  XBlob seed = ReadWholeFile(path);
  if ((path == "-" || path.empty()) && seed.size != 0 && seed.data[seed.size - 1] == '\n') {
    std::fprintf(stderr,
                 "orvocrypto keygen: warning: the seed from standard input ends in a newline, which is part of "
                 "the key (--passphrase-file - drops it)\n");
  }
  return seed;
}

// "ecb" or "cbc" in any case, or the Mode property's numbers 1 and 2.
uint32_t ModeOf(const Arguments& args) {
  const std::string mode = AsciiLower(args.ValueOr("mode", "ecb"));
  if (mode == "ecb") return XBlockCipher::kModeECB;
  if (mode == "cbc") return XBlockCipher::kModeCBC;
  const uint32_t number = args.Number32("mode");
  if (number != XBlockCipher::kModeECB && number != XBlockCipher::kModeCBC) {
    throw UsageError("--mode takes ecb (1) or cbc (2), not '" + args.Value("mode") + "'");
  }
  return number;
}

uint8_t FillerOf(const Arguments& args) {
  if (!args.Has("filler")) return 0;
  const std::string text = args.Value("filler");
  if (!text.empty() && text[0] == '-') throw UsageError("--filler takes a byte value, 0 to 255, not '" + text + "'");
  const uint32_t filler = args.Number32("filler");
  if (filler > 255) throw UsageError("--filler takes a byte value, 0 to 255, not '" + text + "'");
  return static_cast<uint8_t>(filler);
}

struct Sealing {
  std::unique_ptr<XBlockCipher> cipher;
  std::unique_ptr<Input> input;
  std::unique_ptr<Output> output;
};

// The cipher keyed and set to the mode, and the input and output, in the
// order the whole-buffer tool reported their faults: input, key, output.
// Sealed data is not written to a terminal; opened data is, as
// decompressors write what they restore.
Sealing Prepare(const Arguments& args, bool encrypt) {
  args.AtMostPositional(2);
  Sealing s;
  s.cipher = NewCipher(args);
  s.cipher->mode = ModeOf(args);
  s.cipher->filler = FillerOf(args);
  const Format keyFormat = FormatOption(args, "key-format");
  const Format inFormat = FormatOption(args, "input-format");
  const Format outFormat = FormatOption(args, "output-format");
  s.input = std::make_unique<Input>(args.Positional().size() > 1 ? args.Positional()[1] : "-", inFormat);
  s.cipher->SetKey(ReadWholeFile(args.Value("key"), keyFormat));
  // Opened data is plaintext: a new file is its owner's only.
  s.output = std::make_unique<Output>(args.ValueOr("output", ""), outFormat, encrypt,
                                      encrypt ? platform::Privacy::kPublic : platform::Privacy::kPlaintext);
  return s;
}

int RunSymmetric(const Arguments& args, bool encrypt) {
  Sealing s = Prepare(args, encrypt);
  const size_t bs = s.cipher->BlockSize();
  // A file that is not whole blocks fails to decrypt before anything is written.
  if (!encrypt && s.input->KnownSize() > 0 && s.input->KnownSize() % static_cast<int64_t>(bs) != 0) {
    throw XCryptoAlarm(alarm_text::kUnableToDecrypt);
  }
  Progress progress(args, encrypt ? "encrypt" : "decrypt", s.input->KnownSize());
  const size_t chunk = Chunk();
  WipedBuffer in(chunk), out(chunk);
  size_t held = 0;  // bytes at the start of `in` short of a whole block
  size_t got;
  while ((got = s.input->Read(in.data() + held, chunk - held)) > 0) {
    const size_t available = held + got;
    const size_t whole = available / bs * bs;
    s.output->Write(out.data(), encrypt ? s.cipher->EncryptBlocks(in.data(), out.data(), whole)
                                        : s.cipher->DecryptBlocks(in.data(), out.data(), whole));
    held = available - whole;
    std::copy(in.data() + whole, in.data() + available, in.data());
    progress.Advance(got);
  }
  // Encryption pads the rest; decryption of a rest fails with "Unable to decrypt data".
  s.output->Write(out.data(), encrypt ? s.cipher->EncryptFinal(in.data(), held, out.data())
                                      : s.cipher->DecryptBlocks(in.data(), out.data(), held));
  s.output->Commit();
  return 0;
}

}  // namespace

int RunKeygen(const Arguments& args) {
  args.AtMostPositional(1);
  std::unique_ptr<XBlockCipher> cipher = NewCipher(args);
  const uint32_t length = args.Number32("length");  // taken unsigned: -1 asks for the largest key
  const Format format = FormatOption(args, "output-format");
  cipher->GenerateKey(Seed(args), length);
  Output out(args.ValueOr("output", ""), format, true, platform::Privacy::kKey);
  out.Write(cipher->GetKey());
  out.Commit();
  return 0;
}

int RunEncrypt(const Arguments& args) { return RunSymmetric(args, true); }
int RunDecrypt(const Arguments& args) { return RunSymmetric(args, false); }

}  // namespace orvo::cli
