#include "base/cpu_features.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "base/ascii.h"
#include "base/test_hooks.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace orvo::cpu {

namespace {

// The features a ScopedFeatureOverride hides from the hardware paths, a set of
// Feature bits (0 in production).
std::atomic<unsigned> g_hidden{0};

#if defined(__x86_64__) || defined(__i386__)
// XCR0, the register state the operating system saves (XGETBV, valid once
// CPUID reports OSXSAVE).
unsigned long long SavedStateMask() {
  unsigned lo = 0, hi = 0;
  __asm__ __volatile__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<unsigned long long>(hi) << 32) | lo;
}
#endif

Features Detect() {
  Features f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) != 0) {
    f.ssse3 = (c & bit_SSSE3) != 0;
    f.sse41 = (c & bit_SSE4_1) != 0;
    f.pclmulqdq = (c & bit_PCLMUL) != 0;
    f.aesni = (c & bit_AES) != 0;
  }
  // XMM and YMM state (bits 1, 2); with the opmask and ZMM state (bits 5-7).
  const bool osxsave = __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_OSXSAVE) != 0;
  const unsigned long long xcr0 = osxsave ? SavedStateMask() : 0;
  const bool ymmState = (xcr0 & 0x06) == 0x06;
  const bool zmmState = (xcr0 & 0xE6) == 0xE6;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
    f.sha = (b & bit_SHA) != 0;
    f.avx2 = ymmState && (b & bit_AVX2) != 0;
    f.vaes = f.avx2 && (c & bit_VAES) != 0;
    f.avx512f = zmmState && (b & bit_AVX512F) != 0;
    f.bmi2 = (b & bit_BMI2) != 0;
    f.adx = (b & bit_ADX) != 0;
    f.avx512ifma = (b & bit_AVX512F) != 0 && (b & bit_AVX512IFMA) != 0 && zmmState;
    f.bmi1 = (b & bit_BMI) != 0;
  }
#endif
  return f;
}

// The names WithoutNamed takes, each with the fields it clears: the feature
// and the features whose paths need it.
struct NamedFeature {
  std::string_view name;
  bool Features::*cleared[3];
};

// constexpr: initialised before any code runs, since Detected() may be first
// called from another file's static initialisation (a benchmark's
// registration), before this file's dynamic initialisers.
constexpr NamedFeature kNamed[] = {
    {"aes", {&Features::aesni, &Features::vaes}},
    {"pclmulqdq", {&Features::pclmulqdq}},
    {"sse4_1", {&Features::sse41}},
    {"ssse3", {&Features::ssse3}},
    {"sha_ni", {&Features::sha}},
    {"avx2", {&Features::avx2, &Features::vaes}},
    {"vaes", {&Features::vaes}},
    {"avx512f", {&Features::avx512f, &Features::avx512ifma}},
    {"avx512ifma", {&Features::avx512ifma}},
    {"bmi1", {&Features::bmi1}},
    {"bmi2", {&Features::bmi2}},
    {"adx", {&Features::adx}},
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool SameName(std::string_view given, std::string_view known) {
  if (given.size() != known.size()) return false;
  for (std::size_t i = 0; i < given.size(); ++i) {
    if (AsciiLower(given[i]) != known[i]) return false;
  }
  return true;
}

// The variable's value, empty where it is unset or cannot be read. On Windows
// the process's environment block, which the host process owns, rather than
// the C runtime's copy of it.
std::string HiddenNames() {
#if defined(_WIN32)
  char small[256];
  const DWORD n = GetEnvironmentVariableA(kHideVariable, small, sizeof small);
  if (n == 0) return {};
  if (n < sizeof small) return std::string(small, n);
  try {
    std::string value(n, '\0');  // n counts the terminating zero here
    const DWORD m = GetEnvironmentVariableA(kHideVariable, value.data(), n);
    if (m == 0 || m >= n) return {};  // changed meanwhile
    value.resize(m);
    return value;
  } catch (...) {
    return {};
  }
#else
  const char* value = std::getenv(kHideVariable);
  if (value == nullptr) return {};
  try {
    return value;
  } catch (...) {
    return {};
  }
#endif
}

bool Shown(unsigned hidden, Feature feature) { return (hidden & static_cast<unsigned>(feature)) == 0; }

}  // namespace

Features WithoutNamed(Features features, std::string_view names) {
  while (!names.empty()) {
    const std::size_t comma = names.find(',');
    std::string_view item = names.substr(0, comma);
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    while (!item.empty() && IsBlank(item.front())) item.remove_prefix(1);
    while (!item.empty() && IsBlank(item.back())) item.remove_suffix(1);
    for (const NamedFeature& named : kNamed) {
      if (!SameName(item, named.name)) continue;
      for (bool Features::*field : named.cleared) {
        if (field != nullptr) features.*field = false;
      }
    }
  }
  return features;
}

const Features& Detected() {
  static const Features features = WithoutNamed(Detect(), HiddenNames());
  return features;
}

Features Usable() {
  Features f = Detected();
  const unsigned hidden = g_hidden.load(std::memory_order_relaxed);
  f.pclmulqdq = f.pclmulqdq && Shown(hidden, Feature::kPclmulqdq);
  f.sse41 = f.sse41 && Shown(hidden, Feature::kSse41);
  f.ssse3 = f.ssse3 && Shown(hidden, Feature::kSsse3);
  f.sha = f.sha && Shown(hidden, Feature::kSha);
  f.bmi2 = f.bmi2 && Shown(hidden, Feature::kBmi2);
  f.adx = f.adx && Shown(hidden, Feature::kAdx);
  f.avx512ifma = f.avx512ifma && Shown(hidden, Feature::kAvx512Ifma);
  f.bmi1 = f.bmi1 && Shown(hidden, Feature::kBmi1);
  return f;
}

#if ORVO_TEST_HOOKS
ScopedFeatureOverride::ScopedFeatureOverride(Feature feature, bool usable)
    : previous_(g_hidden.load(std::memory_order_relaxed)) {
  const unsigned bit = static_cast<unsigned>(feature);
  g_hidden.store(usable ? previous_ & ~bit : previous_ | bit, std::memory_order_relaxed);
}

ScopedFeatureOverride::~ScopedFeatureOverride() { g_hidden.store(previous_, std::memory_order_relaxed); }
#endif

}  // namespace orvo::cpu
