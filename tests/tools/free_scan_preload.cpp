// A library for LD_PRELOAD that scans every block the program frees for
// known secrets, for secrets_test.sh: the tool is run with it and must leave
// no window of a pass phrase, a key, its hexadecimal text or the plaintext
// in memory it gives back.
//
// ORVO_SCAN_SECRETS holds the secrets as "label=HEX;label=HEX;..." (the
// secret's bytes in hexadecimal); each secret of at least 16 bytes is looked
// for as its 16-byte windows at offsets 0, 16, 32, ... (so any copy of 31
// bytes or more is found). ORVO_SCAN_REPORT names the file that gets one line
// per finding ("found LABEL in a freed block of N bytes") and, at exit, the
// number of blocks scanned ("scanned N"), which shows the scanner ran.
//
// free() scans the block (its usable size, as the allocator reports it) and
// hands it to the C library's own free; realloc() moves a block that grows
// itself, so the old block is scanned too. Nothing here allocates.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void __libc_free(void* p);
void* __libc_malloc(size_t n);
}

namespace {

constexpr size_t kWindow = 16;
constexpr size_t kMaxSecrets = 16;
constexpr size_t kMaxBytes = 4096;
constexpr size_t kLabel = 48;

struct Secret {
  char label[kLabel];
  uint8_t bytes[kMaxBytes];
  size_t size;
};

Secret g_secrets[kMaxSecrets];
size_t g_count = 0;
int g_report = -1;
unsigned long g_scanned = 0;
bool g_ready = false;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void Say(const char* text) {
  if (g_report < 0) return;
  const ssize_t ignored = write(g_report, text, std::strlen(text));
  (void)ignored;
}

__attribute__((constructor)) void Start() {
  const char* report = std::getenv("ORVO_SCAN_REPORT");
  const char* wanted = std::getenv("ORVO_SCAN_SECRETS");
  if (report == nullptr || wanted == nullptr) return;
  g_report = open(report, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  while (*wanted != '\0' && g_count < kMaxSecrets) {
    Secret& s = g_secrets[g_count];
    size_t n = 0;
    while (*wanted != '\0' && *wanted != '=' && n + 1 < kLabel) s.label[n++] = *wanted++;
    s.label[n] = '\0';
    if (*wanted == '=') ++wanted;
    s.size = 0;
    while (HexValue(wanted[0]) >= 0 && HexValue(wanted[1]) >= 0 && s.size < kMaxBytes) {
      s.bytes[s.size++] = static_cast<uint8_t>(HexValue(wanted[0]) << 4 | HexValue(wanted[1]));
      wanted += 2;
    }
    while (*wanted != '\0' && *wanted != ';') ++wanted;
    if (*wanted == ';') ++wanted;
    if (s.size >= kWindow) ++g_count;
  }
  g_ready = true;
}

__attribute__((destructor)) void Stop() {
  char line[64];
  std::snprintf(line, sizeof line, "scanned %lu\n", g_scanned);
  Say(line);
}

void Scan(const void* p) {
  if (!g_ready || p == nullptr) return;
  const size_t n = malloc_usable_size(const_cast<void*>(p));
  ++g_scanned;
  for (size_t i = 0; i < g_count; ++i) {
    const Secret& s = g_secrets[i];
    for (size_t at = 0; at + kWindow <= s.size; at += kWindow) {
      if (memmem(p, n, s.bytes + at, kWindow) != nullptr) {
        char line[128];
        std::snprintf(line, sizeof line, "found %s in a freed block of %zu bytes\n", s.label, n);
        Say(line);
        break;
      }
    }
  }
}

}  // namespace

extern "C" void free(void* p) {
  Scan(p);
  __libc_free(p);
}

extern "C" void* realloc(void* p, size_t n) {
  if (p == nullptr) return __libc_malloc(n);
  if (n == 0) {
    free(p);
    return nullptr;
  }
  const size_t old = malloc_usable_size(p);
  if (n <= old) return p;
  void* moved = __libc_malloc(n);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, p, old);
  free(p);
  return moved;
}
