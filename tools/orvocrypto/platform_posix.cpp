#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "tools/orvocrypto/platform.h"

namespace orvo::cli::platform {

void SetBinaryStdio() {}

bool IsTerminal(FILE* f) { return isatty(fileno(f)) != 0; }

int64_t RegularFileSize(FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

Target ResolveTarget(const std::string& path) {
  Target target;
  target.path = path;
  char resolved[PATH_MAX];
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), resolved) != nullptr) {
    target.path = resolved;
  }
  if (stat(target.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) target.special = true;
  return target;
}

FILE* CreateTemporaryBeside(const std::string& target, bool secret, std::string& tempPath) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::vector<char> name(folder.begin(), folder.end());
  const std::string pattern = "." + base + ".orvo-XXXXXX";
  name.insert(name.end(), pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());  // mode 0600
  if (fd < 0) return nullptr;
  tempPath = name.data();
  if (!secret) {
    mode_t mode;
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) {
      const int error = errno;
      close(fd);
      unlink(tempPath.c_str());
      errno = error;
      return nullptr;
    }
  }
  FILE* f = fdopen(fd, "wb");
  if (f == nullptr) {
    const int error = errno;
    close(fd);
    unlink(tempPath.c_str());
    errno = error;
  }
  return f;
}

bool SyncFile(FILE* f) { return fsync(fileno(f)) == 0; }

bool RenameOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void RemoveFileInHandler(const char* path) { unlink(path); }

}  // namespace orvo::cli::platform
