// RSA commands: rsa-keygen, rsa-encrypt, rsa-decrypt, rsa-sign, rsa-verify.
// Key files hold the key blobs that the PublicKey and PrivateKey properties give.
#include <cstdio>
#include <string>

#include "rsa/rsa_key.h"
#include "tools/orvocrypto/command.h"

namespace orvo::cli {
namespace {

XBlob DataInput(const Arguments& args) {
  args.AtMostPositional(1);
  return ReadInput(args.Positional().empty() ? "-" : args.Positional()[0]);
}

void LoadPublic(XRSAKey& key, const Arguments& args) { key.SetPublicBlob(ReadInput(args.Value("public"))); }
void LoadPrivate(XRSAKey& key, const Arguments& args) { key.SetPrivateBlob(ReadInput(args.Value("private"))); }
void LoadIV(XRSAKey& key, const Arguments& args) {
  if (args.Has("iv")) key.SetIV(ReadInput(args.Value("iv")));
}

int RunKeygen(const Arguments& args, const std::vector<std::string>&) {
  args.AtMostPositional(0);
  const uint32_t size = args.Number32("size");
  const std::string publicPath = args.Value("public");
  const std::string privatePath = args.Value("private");
  XRSAKey key;
  key.GenerateKey(ReadInput(args.Value("seed1")), ReadInput(args.Value("seed2")), size);
  XBlob blob(16);
  key.GetPublicBlob(blob);
  WriteOutput(publicPath, blob);
  key.GetPrivateBlob(blob);
  WriteOutput(privatePath, blob);
  return 0;
}

int RunEncrypt(const Arguments& args, const std::vector<std::string>&) {
  XRSAKey key;
  LoadPublic(key, args);
  LoadIV(key, args);
  WriteOutput(args.ValueOr("output", ""), key.Encrypt(DataInput(args)));
  return 0;
}

int RunDecrypt(const Arguments& args, const std::vector<std::string>&) {
  XRSAKey key;
  LoadPrivate(key, args);
  LoadIV(key, args);
  WriteOutput(args.ValueOr("output", ""), key.Decrypt(DataInput(args)));
  return 0;
}

int RunSign(const Arguments& args, const std::vector<std::string>&) {
  XRSAKey key;
  LoadPrivate(key, args);
  WriteOutput(args.ValueOr("output", ""), key.Sign(DataInput(args)));
  return 0;
}

int RunVerify(const Arguments& args, const std::vector<std::string>&) {
  XRSAKey key;
  LoadPublic(key, args);
  const XBlob signature = ReadInput(args.Value("signature"));
  const bool valid = key.Verify(DataInput(args), signature) == 1;
  std::printf("%s\n", valid ? "valid" : "invalid");
  return valid ? 0 : 1;
}

const OrvoCommandRegistration kKeygen(
    {"rsa-keygen", "rsa-keygen --seed1 FILE --seed2 FILE --size N --public FILE --private FILE",
     "RSA key pair from two seed files (size in bytes of modulus: 64, 128 or 256)", RunKeygen,
     {"seed1", "seed2", "size", "public", "private"}, {}});
const OrvoCommandRegistration kEncrypt({"rsa-encrypt", "rsa-encrypt --public FILE [--iv FILE] [DATA] [-o FILE]",
                                        "RSA-encrypt DATA (or standard input) with a public key blob", RunEncrypt,
                                        {"public", "iv", "output"}, {}});
const OrvoCommandRegistration kDecrypt({"rsa-decrypt", "rsa-decrypt --private FILE [--iv FILE] [DATA] [-o FILE]",
                                        "RSA-decrypt DATA (or standard input) with a private key blob", RunDecrypt,
                                        {"private", "iv", "output"}, {}});
const OrvoCommandRegistration kSign({"rsa-sign", "rsa-sign --private FILE [DATA] [-o FILE]",
                                     "RSA signature of the SHA-1 digest of DATA (or standard input)", RunSign,
                                     {"private", "output"}, {}});
const OrvoCommandRegistration kVerify({"rsa-verify", "rsa-verify --public FILE --signature FILE [DATA]",
                                       "check an RSA signature: prints valid (exit 0) or invalid (exit 1)", RunVerify,
                                       {"public", "signature"}, {}});

}  // namespace
}  // namespace orvo::cli
