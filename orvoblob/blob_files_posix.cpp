// POSIX: file names are bytes; the wide path is passed as UTF-8.
#include <string_view>

#include "orvoblob/blob_files.h"
#include "orvoblob/text_codecs.h"

namespace orvo {

std::FILE* OpenFile(const std::wstring& path, bool forWriting) {
  std::vector<uint8_t> name;
  std::string error;
  if (path.empty() || !WideToUtf8(path, name, error)) return nullptr;
  for (uint8_t b : name)
    if (b == 0) return nullptr;  // an embedded NUL would name another file
  name.push_back(0);
  return std::fopen(reinterpret_cast<const char*>(name.data()), forWriting ? "wb" : "rb");
}

}  // namespace orvo
