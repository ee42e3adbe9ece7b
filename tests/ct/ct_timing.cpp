// A fixed-versus-random timing test (Reparaz, Balasch and Verbauwhede,
// "Dude, is my code constant time?", DATE 2017) for the paths valgrind cannot
// run: the ifma kernel's private exponentiation and the VAES paths of AES.
// Measurements of one input class (fixed) and the other (random) are taken in
// random order; Welch's t over them says whether their means differ. This is
// a report, not a verdict: on a shared, noisy machine |t| above 4.5 may be
// noise, and a small |t| proves nothing. The program always exits 0 when the
// work itself was right.
//
//   ct_timing [MEASUREMENTS]
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/cpu_features.h"
#include "crypto/aes.h"
#include "rsa/montgomery.h"
#include "tests/ct/ct_support.h"

using namespace orvo;
using namespace orvo::ct_check;

namespace {

// Welch's t statistic, accumulated online.
class Welch {
 public:
  void Add(int cls, double x) {
    n_[cls] += 1;
    const double delta = x - mean_[cls];
    mean_[cls] += delta / n_[cls];
    m2_[cls] += delta * (x - mean_[cls]);
  }
  double T() const {
    const double v0 = m2_[0] / (n_[0] - 1), v1 = m2_[1] / (n_[1] - 1);
    return (mean_[0] - mean_[1]) / std::sqrt(v0 / n_[0] + v1 / n_[1]);
  }

 private:
  double n_[2] = {0, 0}, mean_[2] = {0, 0}, m2_[2] = {0, 0};
};

double Nanoseconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
}

XBigInt RandomNumber(std::mt19937_64& rng, uint32_t bytes, bool odd) {
  XBlob blob(bytes + 16);
  for (uint32_t i = 0; i < bytes; ++i) {
    uint8_t byte = static_cast<uint8_t>(rng());
    if (i == 0) byte |= 0x80;
    if (odd && i == bytes - 1) byte |= 1;
    blob.Append(&byte, 1);
  }
  XBigInt x;
  x.FromBytes(blob);
  return x;
}

void Report(const char* what, const Welch& w, int measurements) {
  const double t = w.T();
  std::printf("%-40s t = %7.2f over %d measurements (%s)\n", what, t, measurements,
              std::fabs(t) < 4.5 ? "no difference found" : "means differ: a leak, or noise; repeat");
}

void IfmaExponentiation(int measurements, std::mt19937_64& rng) {
  if (!MontPathUsable(MontPath::kIfma)) {
    std::printf("ifma: not usable on this processor, not measured\n");
    return;
  }
  const XBigInt m = RandomNumber(rng, 128, true);  // a 1024-bit modulus, the length of a 2048-bit key's prime
  const MontgomeryModulus mod(m);
  Expect(mod.Path() == MontPath::kIfma, "the ifma kernel runs the modulus");
  const XBigInt fixedExponent = RandomNumber(rng, 128, false);
  std::vector<uint64_t> base(mod.Limbs()), acc(mod.Limbs());
  const XBigInt b = RandomNumber(rng, 100, false);
  const SecretWords bw = WordsOf(b, 16);
  mod.ToMontgomeryWords(base.data(), bw.data(), 16);
  Welch w;
  for (int i = 0; i < measurements; ++i) {
    const int cls = static_cast<int>(rng() & 1);
    const XBigInt e = cls == 0 ? fixedExponent : RandomNumber(rng, 128, false);
    const auto start = std::chrono::steady_clock::now();
    mod.PowSecret(acc.data(), base.data(), e);
    w.Add(cls, Nanoseconds(start));
  }
  Report("ifma PowSecret, 1024-bit exponent", w, measurements);
}

void VaesBlocks(int measurements, std::mt19937_64& rng) {
  const aes::Engine engine = aes::EngineInUse();
  if (engine != aes::Engine::kVaes256 && engine != aes::Engine::kVaes512) {
    std::printf("vaes: not in use on this processor, not measured\n");
    return;
  }
  constexpr uint32_t kBytes = 16 * 64;
  XBlob key(64);
  key.InsertLong(14);
  for (int i = 0; i < 32; ++i) {
    const uint8_t byte = static_cast<uint8_t>(rng());
    key.Append(&byte, 1);
  }
  XBlob fixedPlain(kBytes);
  for (uint32_t i = 0; i < kBytes; ++i) fixedPlain.data[i] = 0;
  fixedPlain.size = kBytes;
  Welch w;
  XAES aes;
  aes.SetKey(key);
  for (int i = 0; i < measurements; ++i) {
    const int cls = static_cast<int>(rng() & 1);
    XBlob plain(fixedPlain);
    if (cls == 1) {
      for (uint32_t j = 0; j < kBytes; ++j) plain.data[j] = static_cast<uint8_t>(rng());
    }
    aes.Setup(1, 0);
    const auto start = std::chrono::steady_clock::now();
    const XBlob out = aes.Encrypt(plain);
    w.Add(cls, Nanoseconds(start));
    Expect(out.size == kBytes, "encrypted");
  }
  Report(aes::EngineName(engine), w, measurements);
}

}  // namespace

int main(int argc, char** argv) {
  const int measurements = argc > 1 ? std::atoi(argv[1]) : 4000;
  std::mt19937_64 rng(20261211);
  IfmaExponentiation(measurements, rng);
  VaesBlocks(measurements, rng);
  return g_failures == 0 ? 0 : 1;
}
