#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "tools/orvocrypto/platform.h"

namespace orvo::cli::platform {

void SetBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool IsTerminal(FILE* f) { return _isatty(_fileno(f)) != 0; }

int64_t RegularFileSize(FILE* f) {
  struct _stat64 st {};
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFREG) == 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

Target ResolveTarget(const std::string& path) {
  Target target;
  target.path = path;
  struct _stat64 st {};
  if (_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFREG) == 0) target.special = true;
  if (path == "NUL" || path == "nul" || path == "CON" || path == "con") target.special = true;
  return target;
}

FILE* CreateTemporaryBeside(const std::string& target, bool secret, std::string& tempPath) {
  const size_t slash = target.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "." + base + ".orvo-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount() + attempt);
    // Windows keeps no owner-only bit: `secret` relies on the folder's access list.
    const int fd = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    (void)secret;
    tempPath = name;
    FILE* f = _fdopen(fd, "wb");
    if (f == nullptr) {
      _close(fd);
      _unlink(name.c_str());
    }
    return f;
  }
  errno = EEXIST;
  return nullptr;
}

bool SyncFile(FILE* f) { return _commit(_fileno(f)) == 0; }

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFileInHandler(const char* path) { _unlink(path); }

}  // namespace orvo::cli::platform
