// The Montgomery kernels that valgrind can run, called directly on secret
// operands and a secret modulus: the portable kernel at the unrolled and the
// generic lengths, and the mulx kernel (valgrind hides ADX from the programs
// it runs, so the RSA operations never take it there; its products and final
// subtraction are checked here). Each product is compared with the portable
// kernel's after the check.
#include <cstring>
#include <vector>

#include "rsa/montgomery_kernels.h"
#include "tests/ct/ct_support.h"

using namespace orvo;
using namespace orvo::ct_check;

namespace {

uint64_t state = 0x9E3779B97F4A7C15u;
uint64_t NextWord() {  // xorshift64*
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return state * 0x2545F4914F6CDD1Du;
}

void CheckLength(MontPath path, uint32_t bits) {
  const MontKernel k = MontKernelFor(path, bits);
  const MontKernel reference = MontKernelFor(MontPath::kPortable, bits);
  const size_t n = k.limbs;
  std::vector<uint64_t> m(n), a(n), b(n), r(n), want(n);
  for (size_t i = 0; i < n; ++i) m[i] = NextWord();
  m[0] |= 1;
  m[n - 1] |= uint64_t{1} << 63;
  // a, b < m: their top words below m's.
  for (size_t i = 0; i < n; ++i) {
    a[i] = NextWord();
    b[i] = NextWord();
  }
  a[n - 1] = m[n - 1] >> 1;
  b[n - 1] = m[n - 1] >> 2;
  const auto inverseOf = [&k](uint64_t m0) {
    uint64_t inverse = m0;
    for (int i = 0; i < 5; ++i) inverse *= 2 - m0 * inverse;
    return (0 - inverse) & (k.limbBits == 64 ? ~uint64_t{0} : (uint64_t{1} << k.limbBits) - 1);
  };
  ct::Classify(m.data(), 8 * n);
  ct::Classify(a.data(), 8 * n);
  ct::Classify(b.data(), 8 * n);
  const uint64_t secretInv = inverseOf(m[0]);  // as secret as m
  k.mul(r.data(), a.data(), b.data(), m.data(), secretInv, n);
  k.sqr(r.data(), r.data(), m.data(), secretInv, n);

  ct::Declassify(m.data(), 8 * n);
  ct::Declassify(a.data(), 8 * n);
  ct::Declassify(b.data(), 8 * n);
  ct::Declassify(r.data(), 8 * n);
  const uint64_t m0inv = inverseOf(m[0]);
  reference.mul(want.data(), a.data(), b.data(), m.data(), m0inv, n);
  reference.sqr(want.data(), want.data(), m.data(), m0inv, n);
  Expect(std::memcmp(r.data(), want.data(), 8 * n) == 0, "the kernel agrees with the portable one");
}

}  // namespace

int main() {
  for (const MontPath path : {MontPath::kPortable, MontPath::kMulx}) {
    if (path == MontPath::kMulx && !mont_detail::MulxCompiled()) continue;
    std::fprintf(stderr, "ct_kernels: %s\n", MontPathName(path));
    for (const uint32_t bits : {256u, 512u, 1024u, 1088u, 2048u}) CheckLength(path, bits);
  }
  return g_failures == 0 ? 0 : 1;
}
