#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/platform.h"

namespace orvo::cli::platform {

void SetBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

int64_t RegularFileSize(int fd) {
  struct _stat64 st {};
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int OpenForReading(const std::string& path) { return _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

std::ptrdiff_t ReadSome(int fd, void* out, size_t n) {
  return _read(fd, out, static_cast<unsigned>(n < INT_MAX ? n : INT_MAX));
}

bool WriteAll(int fd, const void* bytes, size_t n) {
  const char* p = static_cast<const char*>(bytes);
  while (n != 0) {
    const int put = _write(fd, p, static_cast<unsigned>(n < INT_MAX ? n : INT_MAX));
    if (put < 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

bool Close(int fd) { return _close(fd) == 0; }

Destination OpenDestination(const std::string& path, const std::string& shown, Privacy privacy) {
  Destination d;
  struct _stat64 st {};
  const bool exists = _stat64(path.c_str(), &st) == 0;
  if ((exists && (st.st_mode & _S_IFREG) == 0) || path == "NUL" || path == "nul" || path == "CON" || path == "con") {
    d.fd = _open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    if (d.fd < 0) throw ToolFailure("cannot open " + shown + ": " + std::strerror(errno));
    d.inPlace = true;
    return d;
  }
  const size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  // Windows keeps no owner-only bit: `privacy` relies on the folder's access list.
  (void)privacy;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "." + base + ".orvo-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount() + attempt);
    d.fd = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (d.fd >= 0) {
      d.temporary = name;
      d.name = path;
      return d;
    }
    if (errno != EEXIST) break;
  }
  throw ToolFailure("cannot create " + shown + ": " + std::strerror(errno));
}

bool SyncFile(int fd) { return _commit(fd) == 0; }

bool CommitDestination(Destination& d) {
  if (MoveFileExA(d.temporary.c_str(), d.name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
    return true;
  }
  errno = EACCES;
  return false;
}

void DiscardDestination(Destination& d) noexcept {
  if (d.fd >= 0) _close(d.fd);
  d.fd = -1;
  if (!d.temporary.empty()) _unlink(d.temporary.c_str());
}

void CloseFolder(Destination&) noexcept {}

void RemoveFileInHandler(int, const char* name) { _unlink(name); }

}  // namespace orvo::cli::platform
