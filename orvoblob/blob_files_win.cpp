// Windows: the wide path goes to the C runtime's wide fopen unchanged.
#include <cwchar>

#include "orvoblob/blob_files.h"

namespace orvo {

std::FILE* OpenFile(const std::wstring& path, bool forWriting) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return nullptr;
  return _wfopen(path.c_str(), forWriting ? L"wb" : L"rb");
}

}  // namespace orvo
