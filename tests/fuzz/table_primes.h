// A cheap prime search for fuzz targets that generate RSA keys. Two 256-bit
// prime searches (the 512-bit key class, the smallest) take milliseconds
// under the sanitizers, and were close to half of the tool targets' time;
// what the targets test is everything around them: the seeds' expansion, the
// order of the primes, the exponent and the CRT values, the key files and
// the operations on the new key.
//
// For a 256-bit start (the primes of a 512-bit key) the search answers with
// the smallest prime of a fixed table at or above it, as the real search
// would answer from a sparser list of primes: the answer is never below the
// start, and two seeds in the same interval give equal primes (the case where
// the generator searches again above p) far more often than real keys do.
// The real search (orvo::NextPrime) answers every other start: above the
// table's last prime, the public exponent's, larger key classes, and one
// 256-bit start in 16 (chosen by the start's bits 4-7), so the search's own
// code stays reached.
#pragma once

#include <cstdint>
#include <vector>

#include "base/xblob.h"
#include "rsa/bigint.h"
#include "rsa/primes.h"
#include "rsa/test_hooks.h"

namespace orvo::fuzz {

// Fifteen 256-bit primes, the k-th the first at or above k * 2^252 plus a
// random 248-bit offset (k = 1 to 15), found with a Miller-Rabin test to the
// first twenty prime bases and each confirmed by `openssl prime -hex`.
inline constexpr const char* kTablePrimes[] = {
    "10a0399666cd6dacba1301fd4aa6a5a14a1631d51a875c8525a9e2d37bc27269",
    "20cf862b9a50d7c86e7a58fa365ddf73a47fa7a8d23451032049f9e26944228b",
    "30bb7ce3566c7df7b6ee1075bc9041fce91a2d49371decf97bb5ead834bac177",
    "40aaf45fa732fe02ec8d38a7249872c75b00f2e27e9a2c25247ed828f0a39259",
    "505afe4bc98ba1f2e0aef8974390dbb74d898cf213406708c0f0bf98dc1ff1e1",
    "604aceebcfb6065bc1063d91429fd5b0593dd6c50c22e7274a9cf4d2cf088115",
    "709d9dd7a39c803b34e10981244d3cc0b446bc1ff0f7e55f2c8f16c1ba8a35ab",
    "805d9871be524601e71a07d67984938ae92f3de67cef9c9a4b6f78e829737f09",
    "90d06c5c5506b8b76719396335d2d6b27adf8f4de929c82161d33d066fd4f6e9",
    "a07b2ae7c7b9cfd0fe5f3d8ecdc774274c88bebf87aea37513e2962da1aa651d",
    "b0453917d1c4486d55dff5ca7b4f1acf3d1bd6c2cd49cc94b59d02a23ced7d0b",
    "c093e5e0f4f0e9be386c8e220208e19b343e567f5a96aa8a4823ea5a179d030b",
    "d0ee7ccc5682dbc7bb06246f657a874e4efa8ac2caac6db7766be7f89e30ce17",
    "e0272835c2a00b18d018d54873caca92303670c5a9c31843f0486e0068b37a5d",
    "f0a64326a45053052a65fcb09e0d134313e43a9dfe256e9d9126c0746cefbcaf",
};

inline const std::vector<XBigInt>& TablePrimes() {
  static const std::vector<XBigInt> primes = [] {
    std::vector<XBigInt> out;
    for (const char* hex : kTablePrimes) {
      XBlob bytes(32);
      bytes.FromHex(hex);
      out.push_back(XBigInt().FromBytes(bytes));
    }
    return out;
  }();
  return primes;
}

inline XBigInt TablePrimeSearch(const XBigInt& from) {
  if (from.BitLength() <= 248 || from.BitLength() > 256 || ((from.Limb(0) >> 4) & 0xF) == 0) return NextPrime(from);
  for (const XBigInt& prime : TablePrimes()) {
    if (prime.Compare(from) >= 0) return prime;
  }
  return NextPrime(from);
}

// Installs TablePrimeSearch for the rest of the process (the first call).
inline void UseTablePrimes() {
  static const bool installed = (SetPrimeSearchForTesting(TablePrimeSearch), true);
  (void)installed;
}

}  // namespace orvo::fuzz
