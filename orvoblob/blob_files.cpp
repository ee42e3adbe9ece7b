#include "orvoblob/blob_files.h"

#include <memory>

namespace orvo {

bool ReadWholeFile(const std::wstring& path, std::size_t limit, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  std::FILE* file = OpenFile(path, false);
  if (file == nullptr) {
    error = "Unable to open the file for reading";
    return false;
  }
  // Closed however the read ends (memory may run out while the bytes grow).
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  // Read to the end rather than trust a size from seeking: ftell is 32-bit
  // on Windows, and a file may change while it is read.
  uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got > limit - out.size()) {
      error = "The file is too large for a Blob";
      ok = false;
      break;
    }
    out.insert(out.end(), chunk, chunk + got);
    if (got < sizeof chunk) {
      if (std::ferror(file) != 0) {
        error = "Unable to read the file";
        ok = false;
      }
      break;
    }
  }
  return ok;
}

bool WriteWholeFile(const std::wstring& path, const uint8_t* bytes, std::size_t n, std::string& error) {
  std::FILE* file = OpenFile(path, true);
  if (file == nullptr) {
    error = "Unable to open the file for writing";
    return false;
  }
  const bool written = n == 0 || std::fwrite(bytes, 1, n, file) == n;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "Unable to write the file";
    return false;
  }
  return true;
}

}  // namespace orvo
