#include "tests/wipe/secret_scan.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "base/wipe.h"

namespace orvo::wipecheck {

namespace {

// Everything here lives in memory from malloc, never from operator new: the
// scanner runs inside operator delete.
constexpr size_t kSlots = size_t{1} << 18;  // open addressing, at most half full
constexpr size_t kMaxLabels = 512;
constexpr size_t kLabelChars = 64;
constexpr size_t kMaxFindings = 256;
constexpr size_t kDeadStackBytes = 48 * 1024;

struct RawFinding {
  uint32_t label;
  const char* step;
  Kind kind;
  size_t blockSize;
  size_t offset;
};

struct State {
  uint64_t keys[kSlots];
  uint16_t labels[kSlots];
  bool used[kSlots];
  uint64_t filter[1024];  // one bit per (hash % 65536): most windows miss here
  char labelText[kMaxLabels][kLabelChars];
  size_t labelCount;
  size_t windowCount;
  RawFinding findings[kMaxFindings];
  size_t findingCount;
  const char* step;
};

State* g_state = nullptr;
std::atomic<bool> g_armed{false};
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

class Lock {
 public:
  Lock() {
    while (g_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~Lock() { g_lock.clear(std::memory_order_release); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
};

State& TheState() {
  if (g_state == nullptr) {
    g_state = static_cast<State*>(std::calloc(1, sizeof(State)));
    if (g_state == nullptr) std::abort();
    g_state->step = "";
  }
  return *g_state;
}

uint64_t Hash(uint64_t w) {
  w ^= w >> 33;
  w *= 0xff51afd7ed558ccdull;
  w ^= w >> 33;
  return w;
}

uint64_t Load(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

bool Distinct(const uint8_t* p) {
  size_t distinct = 0;
  for (size_t i = 0; i < kWindow; ++i) {
    bool seen = false;
    for (size_t j = 0; j < i && !seen; ++j) seen = p[j] == p[i];
    distinct += seen ? 0 : 1;
  }
  return distinct >= 4;
}

void AddWindows(State& s, uint16_t label, const std::vector<uint8_t>& form) {
  for (size_t i = 0; i + kWindow <= form.size(); ++i) {
    if (!Distinct(form.data() + i)) continue;
    const uint64_t w = Load(form.data() + i);
    const uint64_t h = Hash(w);
    size_t slot = h & (kSlots - 1);
    while (s.used[slot] && s.keys[slot] != w) slot = (slot + 1) & (kSlots - 1);
    if (s.used[slot]) continue;
    if (s.windowCount + 1 > kSlots / 2) std::abort();
    s.used[slot] = true;
    s.keys[slot] = w;
    s.labels[slot] = label;
    s.filter[(h >> 32) % 65536 / 64] |= uint64_t{1} << ((h >> 32) % 64);
    ++s.windowCount;
  }
}

// The label of the window at p, or -1.
int Lookup(const State& s, const uint8_t* p) {
  const uint64_t w = Load(p);
  const uint64_t h = Hash(w);
  if ((s.filter[(h >> 32) % 65536 / 64] & (uint64_t{1} << ((h >> 32) % 64))) == 0) return -1;
  for (size_t slot = h & (kSlots - 1); s.used[slot]; slot = (slot + 1) & (kSlots - 1)) {
    if (s.keys[slot] == w) return s.labels[slot];
  }
  return -1;
}

// Every 32-bit word byte-swapped, the words counted from the start of `bytes`
// (zero-padded at the end to whole words).
std::vector<uint8_t> SwapWords(const std::vector<uint8_t>& given) {
  std::vector<uint8_t> bytes(given.size() + (4 - given.size() % 4) % 4);
  std::copy(given.begin(), given.end(), bytes.begin());
  for (size_t i = 0; i < bytes.size(); i += 4) std::reverse(bytes.begin() + i, bytes.begin() + i + 4);
  return bytes;
}

struct Header {
  void* raw;
  size_t size;
};

}  // namespace

namespace {

__attribute__((noinline)) void RegisterForms(const std::string& label, const uint8_t* bytes, size_t n) {
  std::vector<uint8_t> given(bytes, bytes + n);
  std::vector<uint8_t> reversed(given.rbegin(), given.rend());
  std::vector<uint8_t> padded((4 - n % 4) % 4 + n);  // zero-padded in front to whole words
  std::copy(given.begin(), given.end(), padded.end() - static_cast<std::ptrdiff_t>(n));
  std::vector<uint8_t> forms[] = {given, reversed, SwapWords(given), SwapWords(padded)};
  {
    Lock lock;
    State& s = TheState();
    if (s.labelCount == kMaxLabels) std::abort();
    const uint16_t index = static_cast<uint16_t>(s.labelCount++);
    std::snprintf(s.labelText[index], kLabelChars, "%s", label.c_str());
    for (const auto& form : forms) AddWindows(s, index, form);
    g_armed = s.windowCount != 0;
  }
  // The registration's own copies go without a trace.
  for (auto* v : {&given, &reversed, &padded, &forms[0], &forms[1], &forms[2], &forms[3]}) {
    std::fill(v->begin(), v->end(), uint8_t{0});
    __asm__ __volatile__("" : : "r"(v->data()) : "memory");
  }
}

}  // namespace

void RegisterSecret(const std::string& label, const uint8_t* bytes, size_t n) {
  RegisterForms(label, bytes, n);
  // The windows passed through locals of the calls above.
  orvo::WipeDeadStack();
}

void RegisterSecret(const std::string& label, const std::vector<uint8_t>& bytes) {
  RegisterSecret(label, bytes.data(), bytes.size());
}

void Reset() {
  Lock lock;
  g_armed = false;
  if (g_state != nullptr) std::memset(g_state, 0, sizeof(State));
  TheState().step = "";
}

size_t WindowCount() {
  Lock lock;
  return TheState().windowCount;
}

void SetStep(const char* step) {
  Lock lock;
  TheState().step = step;
}

std::vector<Finding> TakeFindings() {
  // Copied out under the lock without allocating: a free inside would scan.
  static RawFinding raw[kMaxFindings];
  static char labels[kMaxFindings][kLabelChars];
  size_t count = 0;
  {
    Lock lock;
    State& s = TheState();
    count = s.findingCount;
    for (size_t i = 0; i < count; ++i) {
      raw[i] = s.findings[i];
      std::memcpy(labels[i], s.labelText[raw[i].label], kLabelChars);
    }
    s.findingCount = 0;
  }
  std::vector<Finding> out;
  for (size_t i = 0; i < count; ++i) {
    out.push_back(Finding{labels[i], raw[i].step, raw[i].kind, raw[i].blockSize, raw[i].offset});
  }
  return out;
}

std::string Describe(const std::vector<Finding>& findings) {
  static const char* const kKinds[] = {"heap block", "XBlob block", "dead stack", "live block"};
  std::string text;
  for (const auto& f : findings) {
    text += "  " + f.secret + " in a freed " + kKinds[static_cast<int>(f.kind)] + " of " + std::to_string(f.blockSize) +
            " bytes at offset " + std::to_string(f.offset) + " (step: " + f.step + ")\n";
  }
  return text;
}

size_t Scan(const void* block, size_t n, Kind kind) {
  if (!g_armed.load(std::memory_order_relaxed) || n < kWindow) return 0;
  const auto* p = static_cast<const uint8_t*>(block);
  Lock lock;
  State& s = TheState();
  size_t found = 0;
  int last = -1;
  for (size_t i = 0; i + kWindow <= n; ++i) {
    const int label = Lookup(s, p + i);
    if (label < 0) continue;
    ++found;
    // One finding per secret and block: the windows of one copy overlap.
    if (label == last) continue;
    last = label;
    if (kind != Kind::kLive && s.findingCount < kMaxFindings) {
      s.findings[s.findingCount++] = RawFinding{static_cast<uint32_t>(label), s.step, kind, n, i};
    }
  }
  return found;
}

namespace {

__attribute__((noinline)) void MarkSecretsIn(const void* block, size_t n, bool* seen) {
  const auto* p = static_cast<const uint8_t*>(block);
  Lock lock;
  const State& s = TheState();
  for (size_t i = 0; i + kWindow <= n; ++i) {
    const int label = Lookup(s, p + i);
    if (label >= 0) seen[label] = true;
  }
}

}  // namespace

std::vector<std::string> SecretsIn(const void* block, size_t n) {
  bool seen[kMaxLabels] = {};
  MarkSecretsIn(block, n, seen);
  orvo::WipeDeadStack();  // the windows passed through locals of the scan
  std::vector<std::string> out;
  for (size_t label = 0; label < kMaxLabels; ++label) {
    if (seen[label]) out.emplace_back(TheState().labelText[label]);
  }
  return out;
}

void* Allocate(size_t n, size_t alignment) {
  alignment = std::max(alignment, alignof(std::max_align_t));
  alignment = std::max(alignment, sizeof(Header));
  if (n > SIZE_MAX - alignment - sizeof(Header)) return nullptr;
  void* raw = std::malloc(n + alignment + sizeof(Header));
  if (raw == nullptr) return nullptr;
  const uintptr_t user = (reinterpret_cast<uintptr_t>(raw) + sizeof(Header) + alignment - 1) & ~(alignment - 1);
  Header* h = reinterpret_cast<Header*>(user) - 1;
  h->raw = raw;
  h->size = n;
  return reinterpret_cast<void*>(user);
}

void Release(void* p, Kind kind) noexcept {
  if (p == nullptr) return;
  const Header* h = static_cast<Header*>(p) - 1;
  Scan(p, h->size, kind);
  // Cleared once scanned: the tests free unwiped copies on purpose, and a later
  // block that malloc places over one, only partly written by its owner, would
  // otherwise be reported for the earlier block's bytes.
  orvo::SecureWipe(p, h->size);
  std::free(h->raw);
}

__attribute__((noinline)) size_t ScanDeadStack() {
  // The array is never written: it holds what deeper frames left behind. The
  // empty statement tells the compiler it may have been written.
  if (!kDeadStackScan) return 0;
  uint8_t region[kDeadStackBytes];
  __asm__ __volatile__("" : : "r"(region) : "memory");
  return Scan(region, sizeof region, Kind::kStack);
}

}  // namespace orvo::wipecheck
