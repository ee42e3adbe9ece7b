// RSA commands: rsa-keygen, rsa-encrypt, rsa-decrypt, rsa-sign, rsa-verify.
// Key files hold the key blobs that the PublicKey and PrivateKey properties
// give. Data streams through in batches of whole RSA chunks (encryption) or
// blocks (decryption); signing and verifying hash the data as it is read.
#include <cstdio>
#include <memory>
#include <string>

#include "base/alarm.h"
#include "digest/sha1.h"
#include "rsa/rsa_key.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"
#include "tools/orvocrypto/key_check.h"

namespace orvo::cli {
namespace {

// About this many bytes of data go to the library per call.
constexpr size_t kBatch = size_t{1} << 18;

std::string DataPath(const Arguments& args) {
  args.AtMostPositional(1);
  return args.Positional().empty() ? "-" : args.Positional()[0];
}

// Loads the key file of option `half` ("public" or "private"). A private key
// blob given as the public key is refused: loaded as one, its d would be
// taken for e. A blob that fails to load gets a hint when it is the other
// half, another kind of key or encoded text.
void LoadHalf(XRSAKey& key, const Arguments& args, const std::string& half) {
  const Format format = FormatOption(args, "key-format");
  const std::string path = args.Value(half);
  const XBlob blob = ReadWholeFile(path, format);
  const bool wantPublic = half == "public";
  const RsaBlobKind kind = RsaBlobKindOf(blob);
  if (wantPublic && kind == RsaBlobKind::kPrivate) {
    throw ToolFailure("'" + path + "' holds an RSA private key blob, not a public one: --public takes the public " +
                      "key blob (rsa-keygen --public FILE)");
  }
  try {
    if (wantPublic) {
      key.SetPublicBlob(blob);
    } else {
      key.SetPrivateBlob(blob);
    }
  } catch (const XAlarm& alarm) {
    std::string hint;
    if (!wantPublic && kind == RsaBlobKind::kPublic) {
      hint = "'" + path + "' holds an RSA public key blob, not a private one: --private takes the private key blob " +
             "(rsa-keygen --private FILE)";
    }
    if (hint.empty() && format == Format::kRaw) hint = EncodedKeyHint(blob);
    if (hint.empty() && !DescribeKeyBlob(blob).empty()) hint = "the key file holds " + DescribeKeyBlob(blob);
    if (hint.empty()) throw;
    char text[256];
    alarm.GetText(text, 255);
    throw ToolFailure(std::string(text) + "; " + hint);
  }
}

void LoadPublic(XRSAKey& key, const Arguments& args) { LoadHalf(key, args, "public"); }
void LoadPrivate(XRSAKey& key, const Arguments& args) { LoadHalf(key, args, "private"); }
void LoadIV(XRSAKey& key, const Arguments& args) {
  if (args.Has("iv")) key.SetIV(ReadWholeFile(args.Value("iv")));
}

// Runs `call` (the key's Encrypt or Decrypt) over the input in batches of
// whole units of `unit` bytes; the last batch may be short. Ciphertext
// (`binary`) is not written to a terminal; decrypted data is.
template <typename Call>
int Stream(const Arguments& args, const char* command, size_t unit, bool binary, Call call) {
  Input input(DataPath(args), FormatOption(args, "input-format"));
  // Decrypted data is plaintext: a new file is its owner's only.
  Output output(args.ValueOr("output", ""), FormatOption(args, "output-format"), binary,
                binary ? platform::Privacy::kPublic : platform::Privacy::kPlaintext);
  Progress progress(args, command, input.KnownSize());
  const size_t batch = kBatch / unit * unit + unit;
  XBlob data(static_cast<uint32_t>(batch));
  size_t got;
  while ((got = input.Read(data.data, batch)) > 0) {
    data.size = static_cast<uint32_t>(got);
    output.Write(call(data));
    progress.Advance(got);
  }
  output.Commit();
  return 0;
}

// The SHA-1 digest of the data, hashed as it is read.
XBlob DigestOfData(const Arguments& args, const char* command) {
  Input input(DataPath(args), FormatOption(args, "input-format"));
  Progress progress(args, command, input.KnownSize());
  Sha1Stream sha1;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { sha1.Update(p, n); });
  return sha1.Finish();
}

}  // namespace

// The modulus size in bytes from --size (bytes) or --bits: only the sizes the
// key generation makes as asked (it rounds every other request up to 64, 128
// or 256 bytes, and a key of another size than asked for is a surprise).
uint32_t ModulusSize(const Arguments& args) {
  if (args.Has("size") == args.Has("bits")) throw UsageError("give one of --size and --bits");
  const bool bits = args.Has("bits");
  const std::string name = bits ? "bits" : "size";
  const std::string text = args.Value(name);
  uint32_t value = 0;
  try {
    value = args.Number32(name);
  } catch (const UsageError&) {
  }
  const uint32_t size = bits ? value / 8 : value;
  if ((bits && value % 8 != 0) || (size != 64 && size != 128 && size != 256)) {
    throw UsageError(bits ? "--bits takes 512, 1024 or 2048, not '" + text + "'"
                          : "--size takes 64, 128 or 256 (bytes of modulus), not '" + text + "'");
  }
  return size;
}

// A seed file's bytes; an empty one is refused unless --allow-empty-seed.
XBlob RsaSeed(const Arguments& args, const std::string& name) {
  XBlob seed = ReadWholeFile(args.Value(name));
  if (seed.size == 0 && !args.Has("allow-empty-seed")) {
    throw UsageError("--" + name + " is empty, which gives a well-known prime that anybody can compute, and so " +
                     "a well-known key (--allow-empty-seed makes the key anyway, to regenerate an existing one)");
  }
  return seed;
}

int RunRsaKeygen(const Arguments& args) {
  args.AtMostPositional(0);
  const uint32_t size = ModulusSize(args);
  const std::string publicPath = args.Value("public");
  const std::string privatePath = args.Value("private");
  const Format format = FormatOption(args, "key-format");
  const XBlob seed1 = RsaSeed(args, "seed1");
  const XBlob seed2 = RsaSeed(args, "seed2");
  // Equal seeds give the same prime twice, and the key generation then takes
  // the next prime above it: n = p * q with p and q consecutive primes, which
  // one step of Fermat's method factors. The derivation stays as it is (keys
  // are regenerated from their seeds); the tool refuses unless asked.
  if (seed1.Equals(seed2) && !args.Has("allow-equal-seeds")) {
    throw UsageError(
        "--seed1 and --seed2 hold the same bytes: equal seeds give two consecutive primes, and such a modulus is "
        "factored at once (Fermat's method); use two different random seeds, or --allow-equal-seeds to regenerate "
        "an existing key");
  }
  XRSAKey key;
  key.GenerateKey(seed1, seed2, size);
  XBlob blob(16);
  Output publicOut(publicPath, format, true);
  key.GetPublicBlob(blob);
  publicOut.Write(blob);
  Output privateOut(privatePath, format, true, platform::Privacy::kKey);
  key.GetPrivateBlob(blob);
  privateOut.Write(blob);
  publicOut.Commit();
  privateOut.Commit();
  return 0;
}

int RunRsaEncrypt(const Arguments& args) {
  XRSAKey key;
  LoadPublic(key, args);
  LoadIV(key, args);
  key.Encrypt(XBlob(16));  // the key's checks, before any data is read
  return Stream(args, "rsa-encrypt", key.size - 42, true, [&](const XBlob& data) { return key.Encrypt(data); });
}

int RunRsaDecrypt(const Arguments& args) {
  XRSAKey key;
  LoadPrivate(key, args);
  LoadIV(key, args);
  key.Decrypt(XBlob(16));  // the key's checks, before any data is read
  return Stream(args, "rsa-decrypt", key.size, false, [&](const XBlob& data) { return key.Decrypt(data); });
}

int RunRsaSign(const Arguments& args) {
  XRSAKey key;
  LoadPrivate(key, args);
  const Format format = FormatOption(args, "output-format");
  const XBlob signature = key.SignDigest(DigestOfData(args, "rsa-sign"));
  Output out(args.ValueOr("output", ""), format, true);
  out.Write(signature);
  out.Commit();
  return 0;
}

int RunRsaVerify(const Arguments& args) {
  XRSAKey key;
  LoadPublic(key, args);
  const XBlob signature = ReadWholeFile(args.Value("signature"), FormatOption(args, "signature-format"));
  const bool valid = key.VerifyDigest(DigestOfData(args, "rsa-verify"), signature) == 1;
  std::printf("%s\n", valid ? "valid" : "invalid");
  return valid ? 0 : 1;
}

}  // namespace orvo::cli
