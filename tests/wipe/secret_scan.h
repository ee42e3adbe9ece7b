// The secret scanner of the wipe tests. Tests register secrets (key bytes,
// private numbers, seeds); this test build's global operator new and delete
// (checked_new.cpp) and its XBlob block allocator (checked_blob_allocator.cpp)
// scan every block as it is freed, and a block that still holds an 8-byte
// window of a registered secret is recorded as a finding. A freed block that
// was wiped, or that never held key material, gives nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvo::wipecheck {

inline constexpr size_t kWindow = 8;

// Where a block came from.
enum class Kind { kHeap, kBlob, kStack, kLive };

struct Finding {
  std::string secret;  // the label of the secret found
  std::string step;    // the step the test had announced (SetStep)
  Kind kind;
  size_t blockSize;
  size_t offset;
};

// Registers the windows of `bytes` (a number or key, most significant byte
// first) in the byte orders memory may hold it in: as given, reversed (little-
// endian limbs and machine words), and with every 32-bit word byte-swapped
// (big-endian words stored on a little-endian machine) counted from either end.
// Windows of fewer than four distinct byte values are left out: they would
// match ordinary data.
void RegisterSecret(const std::string& label, const uint8_t* bytes, size_t n);
void RegisterSecret(const std::string& label, const std::vector<uint8_t>& bytes);
// Forgets every secret and every finding.
void Reset();
// How many windows are registered.
size_t WindowCount();

// The step recorded with the findings from now on (a string literal).
void SetStep(const char* step);

// The findings so far (and clears them).
std::vector<Finding> TakeFindings();
std::string Describe(const std::vector<Finding>& findings);

// Scans a block and records each secret found (the allocation hooks call it;
// tests use it with Kind::kLive to show a secret is there while it lives, so
// the registered forms are the ones memory really holds). Returns the number
// of windows found.
size_t Scan(const void* block, size_t n, Kind kind);

// The labels of the secrets whose windows occur in the block, without
// recording anything.
std::vector<std::string> SecretsIn(const void* block, size_t n);

// Allocation with a header that keeps the block's size, for the hooks.
void* Allocate(size_t n, size_t alignment);
// Scans the block as `kind`, then frees it.
void Release(void* p, Kind kind) noexcept;

// Scans the stack just below the caller's frame: what the calls the caller
// made before left behind. Returns the number of windows found; always 0 where
// kDeadStackScan is false.
size_t ScanDeadStack();

// Under AddressSanitizer frames carry redzones and are laid out by its own
// rules: even a frame left unwiped on purpose is not found where the scan
// looks, so there the scan is off and only the heap checks run.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kDeadStackScan = false;
#else
inline constexpr bool kDeadStackScan = true;
#endif

}  // namespace orvo::wipecheck
