// The Montgomery kernels: every kernel this build and processor have against
// the definition r = a b R^-1 mod m (checked with the limb-wise XBigInt
// arithmetic) on random operands, and exponentiation and the RSA operations on
// each path the CPU-feature override can force, against the limb-wise
// reference and the Python reference's signatures.
#include "rsa/montgomery_kernels.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <string>
#include <vector>

#include "base/test_hooks.h"
#include "rsa/modular.h"
#include "rsa/montgomery.h"
#include "rsa/rsa_key.h"
#include "tests/rsa/rsa_test_support.h"
#include "tests/support/vec_file.h"

namespace {

using orvo::MontKernel;
using orvo::MontPath;
using orvo::test::HexOf;
using orvo::test::SeededRandom;

struct NamedPath {
  MontPath path;
  const char* name;
};
constexpr NamedPath kPaths[] = {{MontPath::kPortable, "portable"}, {MontPath::kMulx, "mulx"}, {MontPath::kIfma, "ifma"}};

bool PathTakes(MontPath path, uint32_t bits) { return path != MontPath::kIfma || bits <= orvo::kIfmaMaxBits; }

// The n limbs of `bits` bits of x, least significant first.
std::vector<uint64_t> LimbsOf(const XBigInt& x, size_t n, unsigned bits) {
  std::vector<uint64_t> limbs(n, 0);
  for (uint32_t i = 0; i < n * bits; ++i) {
    if (x.Bit(i)) limbs[i / bits] |= uint64_t{1} << (i % bits);
  }
  return limbs;
}

// The value of limbs of `bits` bits; a limb with a bit above them fails.
XBigInt ValueOf(const std::vector<uint64_t>& limbs, unsigned bits) {
  std::vector<uint8_t> bytes((limbs.size() * bits + 7) / 8, 0);
  for (size_t i = 0; i < limbs.size() * bits; ++i) {
    if ((limbs[i / bits] >> (i % bits)) & 1) bytes[bytes.size() - 1 - i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  }
  for (const uint64_t limb : limbs) EXPECT_TRUE(bits == 64 || (limb >> bits) == 0) << "limb not normalised";
  XBigInt x;
  x.FromBytes(orvo::test::BlobOf(bytes));
  return x;
}

// Each usable path, with the features hidden that would take a faster one.
class ForcedPath {
 public:
  explicit ForcedPath(MontPath path) {
    using orvo::cpu::Feature;
    if (path != MontPath::kIfma) Hide(Feature::kAvx512Ifma);
    if (path == MontPath::kPortable) {
      Hide(Feature::kBmi2);
      Hide(Feature::kAdx);
    }
  }
  ~ForcedPath() {
    while (!hidden_.empty()) hidden_.pop_back();  // overrides undo in reverse
  }
  ForcedPath(const ForcedPath&) = delete;
  ForcedPath& operator=(const ForcedPath&) = delete;

 private:
  void Hide(orvo::cpu::Feature f) { hidden_.push_back(std::make_unique<orvo::cpu::ScopedFeatureOverride>(f)); }
  std::vector<std::unique_ptr<orvo::cpu::ScopedFeatureOverride>> hidden_;
};

TEST(MontgomeryKernelTest, EveryKernelMatchesTheDefinitionOnRandomOperands) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  // Lengths at and around the limb and register boundaries of both radixes.
  const uint32_t kBitLengths[] = {17, 64, 65, 103, 104, 105, 256, 257, 415, 416, 417, 512, 520, 521,
                                  1023, 1024, 1039, 1040, 1041, 1500, 2048, 2079, 2080, 3000};
  int kernelsRun = 0;
  for (const NamedPath& p : kPaths) {
    if (!orvo::MontPathUsable(p.path)) continue;
    ++kernelsRun;
    SCOPED_TRACE(p.name);
    for (const uint32_t bits : kBitLengths) {
      if (!PathTakes(p.path, bits)) continue;
      const MontKernel k = orvo::MontKernelFor(p.path, bits);
      for (int round = 0; round < 6; ++round) {
        XBigInt m = random.Bytes((bits + 7) / 8);
        // Exactly `bits` bits, odd.
        while (m.BitLength() > bits) m.Divide(XBigInt(2));
        if (m.BitLength() < bits) {
          XBigInt top(1);
          for (uint32_t i = 1; i < bits; ++i) top.Add(XBigInt(top));
          m.Add(top);
        }
        if (m.IsEven()) m.Add(XBigInt(1));
        const XBigInt one(1);
        XBigInt mMinus1(m);
        mMinus1.Subtract(one);
        // Random operands, and the extremes 0, 1 and m - 1.
        XBigInt a = random.Bytes((bits + 7) / 8), b = random.Bytes((bits + 7) / 8);
        a.Modulo(m);
        b.Modulo(m);
        if (round == 1) a = mMinus1, b = mMinus1;
        if (round == 2) a = XBigInt(0);
        if (round == 3) b = one;
        const auto la = LimbsOf(a, k.limbs, k.limbBits), lb = LimbsOf(b, k.limbs, k.limbBits),
                   lm = LimbsOf(m, k.limbs, k.limbBits);
        uint64_t inverse = lm[0];
        for (int i = 0; i < 6; ++i) inverse *= 2 - lm[0] * inverse;
        const uint64_t m0inv = (0 - inverse) & (k.limbBits == 64 ? ~uint64_t{0} : (uint64_t{1} << k.limbBits) - 1);
        std::vector<uint64_t> product(k.limbs), square(k.limbs);
        k.mul(product.data(), la.data(), lb.data(), lm.data(), m0inv, k.limbs);
        k.sqr(square.data(), la.data(), lm.data(), m0inv, k.limbs);
        // r < m and r R = a b (mod m), R = 2^(limbBits n): that fixes r.
        XBigInt bigR(1);
        for (size_t i = 0; i < k.limbBits * k.limbs; ++i) bigR.Add(XBigInt(bigR));
        for (const auto& [r, x, y] : {std::make_tuple(&product, &a, &b), std::make_tuple(&square, &a, &a)}) {
          const XBigInt got = ValueOf(*r, k.limbBits);
          ASSERT_LT(got.Compare(m), 0) << bits << " bits, m " << HexOf(m);
          XBigInt lhs(got);
          lhs.MulMod(bigR, m);
          XBigInt rhs(*x);
          rhs.MulMod(*y, m);
          ASSERT_EQ(HexOf(lhs), HexOf(rhs)) << bits << " bits, a " << HexOf(*x) << " b " << HexOf(*y) << " m " << HexOf(m);
        }
      }
    }
  }
  EXPECT_GE(kernelsRun, 1);
}

// The ifma kernel's last stage: a carry that ripples through lanes of
// exactly 2^52 - 1, lanes far above 52 bits, and a borrow through equal
// limbs when the value is just above or below m.
TEST(MontgomeryKernelTest, IfmaNormalisationRipplesCarriesAndBorrows) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  constexpr uint64_t kAllOnes = (uint64_t{1} << 52) - 1;
  int checked = 0;
  for (const size_t n : {size_t{5}, size_t{10}, size_t{20}, size_t{40}}) {
    for (int shape = 0; shape < 4; ++shape) {
      std::vector<uint64_t> m(n), lanes(n, 0), r(n);
      for (auto& limb : m) limb = static_cast<uint64_t>(random.Below(1u << 26)) << 26 | random.Below(1u << 26);
      m[0] |= 1;
      m[n - 1] |= uint64_t{1} << 50;
      if (shape == 0) {
        // Lane 0 carries one into lane 1, which then carries through a run of
        // lanes of 2^52 - 1 up to lane n - 2.
        lanes[0] = kAllOnes + (uint64_t{1} << 52);
        for (size_t j = 1; j + 1 < n; ++j) lanes[j] = kAllOnes;
        lanes[n - 1] = m[n - 1] / 2;
      } else if (shape == 1) {
        // Lanes far above 52 bits.
        for (size_t j = 0; j + 1 < n; ++j) lanes[j] = (uint64_t{1} << 62) + random.Below(1u << 31);
        lanes[n - 1] = m[n - 1] / 4;
      } else {
        // m - 1 (shape 2) and m + 1 (shape 3): borrows through equal limbs.
        lanes = m;
        if (shape == 2) lanes[0] -= 1;
        if (shape == 3) lanes[0] += 1;
      }
      if (!orvo::mont_detail::IfmaFinishForTesting(r.data(), lanes.data(), m.data(), n)) continue;
      // The expected value from the lanes, limb-wise.
      XBigInt value;
      for (size_t j = n; j-- > 0;) {
        XBigInt shifted(value);
        for (int b = 0; b < 52; ++b) shifted.Add(XBigInt(shifted));
        XBigInt lane;
        lane.FromBytes(orvo::test::BlobOf(std::vector<uint8_t>{
            static_cast<uint8_t>(lanes[j] >> 56), static_cast<uint8_t>(lanes[j] >> 48), static_cast<uint8_t>(lanes[j] >> 40),
            static_cast<uint8_t>(lanes[j] >> 32), static_cast<uint8_t>(lanes[j] >> 24), static_cast<uint8_t>(lanes[j] >> 16),
            static_cast<uint8_t>(lanes[j] >> 8), static_cast<uint8_t>(lanes[j])}));
        value = shifted.Add(lane);
      }
      const XBigInt modulus = ValueOf(m, 52);
      EXPECT_EQ(HexOf(ValueOf(r, 52)), HexOf(value.Modulo(modulus))) << "n " << n << " shape " << shape;
      ++checked;
    }
  }
  EXPECT_EQ(checked, orvo::MontPathUsable(MontPath::kIfma) ? 16 : 0);
}

TEST(MontgomeryKernelTest, PowModOnEveryForcedPathMatchesTheReference) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  for (const NamedPath& p : kPaths) {
    if (!orvo::MontPathUsable(p.path)) continue;
    SCOPED_TRACE(p.name);
    const ForcedPath forced(p.path);
    for (int i = 0; i < 60; ++i) {
      XBigInt m = random.Number(i < 30 ? 40 : 130);  // up to 2080 bits
      if (m.IsEven()) m.Add(XBigInt(1));
      if (m.Compare(XBigInt(1)) == 0) continue;
      const XBigInt base = random.Number(140);
      const XBigInt e = random.Number(i % 3 == 0 ? 2 : 40);
      XBigInt fast(base);
      fast.PowMod(e, m);
      ASSERT_EQ(HexOf(fast), HexOf(orvo::reference::PowMod(base, e, m))) << "m " << HexOf(m);
    }
  }
}

// The constant-time forms of the private operations: values of any length
// brought into Montgomery form (several pieces of the modulus's length, and
// values below and above it), exponents of every length (zero, shorter and
// longer than the modulus) by the fixed window, alone and in pairs of equal
// and of different limb counts, and the subtraction modulo m.
TEST(MontgomeryKernelTest, ConstantTimeFormsMatchTheReferenceOnEveryPath) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  for (const NamedPath& p : kPaths) {
    if (!orvo::MontPathUsable(p.path)) continue;
    SCOPED_TRACE(p.name);
    const ForcedPath forced(p.path);
    for (int i = 0; i < 40; ++i) {
      XBigInt m1 = random.Number(i < 20 ? 20 : 70), m2 = random.Number(i % 2 == 0 ? 20 : 70);
      for (XBigInt* m : {&m1, &m2}) {
        if (m->IsEven()) m->Add(XBigInt(1));
        if (m->Compare(XBigInt(1)) == 0) m->Set(3);
      }
      const orvo::MontgomeryModulus mod1(m1), mod2(m2);
      const XBigInt x = random.Number(i % 4 == 0 ? 2 : 200);
      const XBigInt e1 = i % 5 == 0 ? XBigInt(0) : random.Number(i % 3 == 0 ? 3 : 90);
      const XBigInt e2 = random.Number(30);
      const orvo::SecretWords xw = orvo::WordsOf(x, (x.Count() + 3) / 4);
      std::vector<uint64_t> b1(mod1.Limbs()), b2(mod2.Limbs()), r1(mod1.Limbs()), r2(mod2.Limbs());
      mod1.ToMontgomeryWords(b1.data(), xw.data(), xw.size());
      mod2.ToMontgomeryWords(b2.data(), xw.data(), xw.size());
      const size_t words1 = (m1.BitLength() + 63) / 64, words2 = (m2.BitLength() + 63) / 64;
      std::vector<uint64_t> plain1(words1), plain2(words2);
      mod1.FromMontgomeryWords(plain1.data(), words1, b1.data());
      XBigInt reduced(x);
      ASSERT_EQ(HexOf(orvo::BigIntOf(plain1.data(), words1)), HexOf(reduced.Modulo(m1))) << "m " << HexOf(m1);

      mod1.PowSecret(r1.data(), b1.data(), e1);
      mod1.FromMontgomeryWords(plain1.data(), words1, r1.data());
      ASSERT_EQ(HexOf(orvo::BigIntOf(plain1.data(), words1)), HexOf(orvo::reference::PowMod(x, e1, m1)))
          << "m " << HexOf(m1) << " e " << HexOf(e1);

      orvo::MontgomeryModulus::PowSecretPair(mod1, r1.data(), b1.data(), e2, mod2, r2.data(), b2.data(), e1);
      mod1.FromMontgomeryWords(plain1.data(), words1, r1.data());
      mod2.FromMontgomeryWords(plain2.data(), words2, r2.data());
      ASSERT_EQ(HexOf(orvo::BigIntOf(plain1.data(), words1)), HexOf(orvo::reference::PowMod(x, e2, m1)));
      ASSERT_EQ(HexOf(orvo::BigIntOf(plain2.data(), words2)), HexOf(orvo::reference::PowMod(x, e1, m2)));

      // (x^e2 - x) mod m1 in Montgomery form.
      mod1.SubMod(r1.data(), r1.data(), b1.data());
      mod1.FromMontgomeryWords(plain1.data(), words1, r1.data());
      XBigInt difference(orvo::reference::PowMod(x, e2, m1));
      difference.Add(m1).Subtract(reduced).Modulo(m1);
      ASSERT_EQ(HexOf(orvo::BigIntOf(plain1.data(), words1)), HexOf(difference));
    }
  }
}

TEST(MontgomeryKernelTest, SignaturesAndRawOperationsAgreeOnEveryPath) {
  SeededRandom random;
  SCOPED_TRACE(random.Trace());
  int checked = 0;
  for (const NamedPath& p : kPaths) {
    if (!orvo::MontPathUsable(p.path)) continue;
    SCOPED_TRACE(p.name);
    const ForcedPath forced(p.path);
    for (const auto& record : orvo::test::ReadVecFile("rsa/rsa_keys.vec")) {
      if (record.section != "Sign") continue;
      XRSAKey key;  // a fresh key: nothing cached from another path
      key.SetPrivateBlob(record.Blob("Private"));
      key.SetPublicBlob(record.Blob("Public"));
      EXPECT_EQ(orvo::test::ToHexText(key.Sign(record.Blob("Data"))), record.Get("Signature")) << record.Where();
      XBigInt x = random.Bytes(key.size);
      x.Modulo(key.n);
      EXPECT_EQ(HexOf(key.PublicRaw(key.PrivateRaw(x))), HexOf(x)) << record.Where();
      EXPECT_EQ(HexOf(key.PrivateRaw(x)), HexOf(orvo::reference::PowMod(x, key.d, key.n))) << record.Where();
      ++checked;
    }
  }
  EXPECT_GE(checked, 3);
}

}  // namespace
