// Fuzz target: the files the orvocrypto tool reads, passed through the same
// library calls its commands make (tools/orvocrypto/commands_cipher.cpp and
// commands_rsa.cpp), one command per input. The tool streams: ciphers get
// whole blocks piece by piece and then the rest, signatures a digest computed
// piece by piece; each must give what one whole-buffer call gives.
//
// Input: Byte command (mod 8), then per command:
//   0 keygen CIPHER:       Byte cipher, U32 --length, Rest seed file
//   1 encrypt, 2 decrypt:  Byte cipher, U32 --mode, U32 --filler, Piece key file, Rest data file
//   3 rsa-keygen:          U32 --size, Piece seed1 file, Rest seed2 file
//   4 rsa-encrypt, 5 rsa-decrypt: Byte (bit 0: --iv given), Piece key file,
//                          Piece iv file, Rest data file
//   6 rsa-sign:            Piece private key file, Rest data file
//   7 rsa-verify:          Piece public key file, Piece signature file, Rest data file
// Numbers are any 32-bit value, as --length -1 or --mode 0x7 give them.
//
// Checks: only the documented alarms; keygen writes a key file that encrypt
// and decrypt take back; rsa-keygen (its size cut to the 512-bit class, the
// largest a fuzzer can afford per input) writes key files with which
// rsa-encrypt, rsa-decrypt, rsa-sign and rsa-verify round-trip. The RSA
// commands run on every key they load (Encrypt not for moduli that make it
// draw seeds thousands of times, rsa_work.h). Key generation
// takes its primes mostly from table_primes.h's table.
#include <algorithm>
#include <memory>
#include <vector>

#include "crypto/aes.h"
#include "crypto/blowfish.h"
#include "crypto/twofish.h"
#include "digest/sha1.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_operations.h"
#include "rsa/test_hooks.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/rsa_work.h"
#include "tests/fuzz/table_primes.h"

namespace {

using orvo::fuzz::BlobOf;
using orvo::fuzz::IsAlarm;

struct CipherRow {
  const char* name;
  std::unique_ptr<XBlockCipher> (*make)();
};

template <typename Cipher>
std::unique_ptr<XBlockCipher> Make() {
  std::unique_ptr<XBlockCipher> cipher = std::make_unique<Cipher>();
  cipher->Setup(XBlockCipher::kModeECB, 0);  // as the tool's NewCipher does
  return cipher;
}

const CipherRow kCiphers[] = {{"AES", Make<XAES>}, {"Twofish", Make<XTwofish>}, {"Blowfish", Make<XBlowfish>}};

uint32_t g_counter = 0;

void CounterEntropy(uint8_t* out, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(g_counter++ * 151u + 7u);
}

void Keygen(orvo::fuzz::Input& in) {
  const CipherRow& row = kCiphers[in.Byte() % 3];
  const uint32_t length = in.U32();
  const XBlob seed = BlobOf(in.Rest(4096));
  std::unique_ptr<XBlockCipher> cipher = row.make();
  cipher->GenerateKey(seed, length);
  const XBlob keyFile = cipher->GetKey();
  // encrypt and decrypt read the key file back.
  std::unique_ptr<XBlockCipher> reader = row.make();
  reader->SetKey(keyFile);
  FUZZ_CHECK(reader->GetKey().Equals(keyFile));
  const XBlob sealed = reader->Encrypt(seed);
  std::unique_ptr<XBlockCipher> opener = row.make();
  opener->SetKey(keyFile);
  const XBlob opened = opener->Decrypt(sealed);
  FUZZ_CHECK(opened.size == sealed.size && (seed.size == 0 || std::equal(seed.data, seed.data + seed.size, opened.data)));
}

void Symmetric(orvo::fuzz::Input& in, bool encrypt) {
  const CipherRow& row = kCiphers[in.Byte() % 3];
  const uint32_t mode = in.U32();
  const uint32_t filler = in.U32();
  const XBlob keyFile = BlobOf(in.Piece(256));
  const XBlob input = BlobOf(in.Rest(4096));
  std::unique_ptr<XBlockCipher> cipher = row.make();
  try {
    cipher->SetKey(keyFile);
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kDataCorrupted, row.name));
    return;
  }
  std::unique_ptr<XBlockCipher> whole = row.make();
  whole->SetKey(keyFile);
  for (XBlockCipher* c : {cipher.get(), whole.get()}) {
    c->mode = mode;
    c->filler = static_cast<uint8_t>(filler);
  }
  // The tool's pieces: whole blocks, three at a time here, then the rest.
  const size_t bs = cipher->BlockSize();
  std::vector<uint8_t> streamed(input.size + bs);
  size_t written = 0, at = 0;
  bool failed = false;
  try {
    while (input.size - at >= bs) {
      const size_t take = std::min<size_t>(3 * bs, (input.size - at) / bs * bs);
      written += encrypt ? cipher->EncryptBlocks(input.data + at, streamed.data() + written, take)
                         : cipher->DecryptBlocks(input.data + at, streamed.data() + written, take);
      at += take;
    }
    written += encrypt ? cipher->EncryptFinal(input.data + at, input.size - at, streamed.data() + written)
                       : cipher->DecryptBlocks(input.data + at, streamed.data() + written, input.size - at);
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(!encrypt && IsAlarm(alarm, alarm_text::kUnableToDecrypt, nullptr));
    failed = true;
  }
  try {
    const XBlob out = encrypt ? whole->Encrypt(input) : whole->Decrypt(input);
    FUZZ_CHECK(!failed && out.size <= input.size + bs);
    FUZZ_CHECK(out.size == written && (written == 0 || std::equal(out.data, out.data + written, streamed.data())));
    FUZZ_CHECK(std::equal(whole->chain, whole->chain + bs, cipher->chain));
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(failed && IsAlarm(alarm, alarm_text::kUnableToDecrypt, nullptr));
  }
}

void RsaKeygen(orvo::fuzz::Input& in) {
  // Every size the tool takes selects one of three classes; the fuzzer keeps to
  // the smallest (seconds per key for the largest under the sanitizers).
  const uint32_t size = std::min<uint32_t>(in.U32(), 64);
  const XBlob seed1 = BlobOf(in.Piece(256));
  const XBlob seed2 = BlobOf(in.Rest(256));
  XRSAKey generated;
  generated.GenerateKey(seed1, seed2, size);
  XBlob publicFile(16);
  XBlob privateFile(16);
  generated.GetPublicBlob(publicFile);
  generated.GetPrivateBlob(privateFile);

  XRSAKey encryptor;
  encryptor.SetPublicBlob(publicFile);
  XRSAKey decryptor;
  decryptor.SetPrivateBlob(privateFile);
  // A generated modulus may fall short of its size (its primes are not forced
  // to full length): then the encoded blocks rarely fit below it, and
  // Encrypt and Sign refuse the key rather than produce what cannot be opened.
  // Encrypt draws seeds about 2^t times per block for a modulus t bits short:
  // the round trip runs for t up to 6 (rsa_work.h).
  if (orvo::fuzz::FewPaddingDraws(encryptor)) {
    try {
      const XBlob sealed = encryptor.Encrypt(seed2);
      FUZZ_CHECK(decryptor.Decrypt(sealed).Equals(seed2));
    } catch (const XAlarm& alarm) {
      FUZZ_CHECK(IsAlarm(alarm, alarm_text::kInvalidKey, "RSA") &&
                 generated.n.BitLength() <= 8 * (size_t{generated.size} - 1));
    }
  }
  try {
    const XBlob signature = decryptor.Sign(seed1);
    FUZZ_CHECK(encryptor.Verify(seed1, signature) == 1);
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsAlarm(alarm, alarm_text::kInvalidKey, "RSA") && generated.n.BitLength() <= 8 * (size_t{generated.size} - 1));
  }
}

// SHA-1 as rsa-sign and rsa-verify take it: fed piece by piece.
XBlob DigestInPieces(const XBlob& data) {
  orvo::Sha1Stream sha1;
  for (uint32_t at = 0; at < data.size; at += 37) sha1.Update(data.data + at, std::min<uint32_t>(37, data.size - at));
  return sha1.Finish();
}

bool IsRsaAlarm(const XAlarm& alarm) {
  return IsAlarm(alarm, alarm_text::kDataCorrupted, "RSA") || IsAlarm(alarm, alarm_text::kDataCorrupted, "XBlob") ||
         IsAlarm(alarm, alarm_text::kInvalidKey, "RSA") || IsAlarm(alarm, alarm_text::kUnableToDecrypt, "RSA");
}

// rsa-encrypt, rsa-decrypt, rsa-sign, rsa-verify: one key file, then the command.
void RsaCommand(orvo::fuzz::Input& in, int command) {
  const bool withIV = command <= 5 && (in.Byte() & 1) != 0;
  const XBlob keyFile = BlobOf(in.Piece(SIZE_MAX));
  const XBlob second = BlobOf(in.Piece(512));  // the iv file or the signature file
  const XBlob dataFile = BlobOf(in.Rest(1024));
  XRSAKey key;
  try {
    if (command == 4 || command == 7) {
      key.SetPublicBlob(keyFile);
    } else {
      key.SetPrivateBlob(keyFile);
    }
    if (withIV) key.SetIV(second);
    if (command == 4 && !orvo::fuzz::FewPaddingDraws(key)) return;
    // The tool reads whole files; the fuzzer keeps the work to three blocks.
    const uint32_t block = key.size > 42 ? key.size - 42 : 1;
    const uint32_t cap = command == 5 ? 3 * key.size : 3 * block;
    const XBlob data = BlobOf(std::vector<uint8_t>(dataFile.data, dataFile.data + std::min(dataFile.size, cap)));
    switch (command) {
      case 4:
        FUZZ_CHECK(key.Encrypt(data).size == key.size * ((data.size + block - 1) / block));
        break;
      case 5:
        FUZZ_CHECK(key.Decrypt(data).size <= data.size);
        break;
      case 6: {
        const XBlob signature = key.SignDigest(DigestInPieces(dataFile));
        FUZZ_CHECK(signature.size == key.size && signature.Equals(key.Sign(dataFile)));
        break;
      }
      default: {
        const int32_t verdict = key.VerifyDigest(DigestInPieces(dataFile), second);
        FUZZ_CHECK((verdict == 0 || verdict == 1) && verdict == key.Verify(dataFile, second));
        break;
      }
    }
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsRsaAlarm(alarm));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  g_counter = 0;
  orvo::SetPaddingEntropyForTesting(CounterEntropy);
  orvo::fuzz::UseTablePrimes();
  orvo::fuzz::Input in(bytes, size);
  const int command = in.Byte() % 8;
  switch (command) {
    case 0:
      Keygen(in);
      break;
    case 1:
    case 2:
      Symmetric(in, command == 1);
      break;
    case 3:
      RsaKeygen(in);
      break;
    default:
      RsaCommand(in, command);
      break;
  }
  return 0;
}
