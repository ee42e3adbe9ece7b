#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/platform.h"

namespace orvo::cli::platform {

void SetBinaryStdio() {}

bool IsTerminal(int fd) { return isatty(fd) != 0; }

int64_t RegularFileSize(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

int OpenForReading(const std::string& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY); }

std::ptrdiff_t ReadSome(int fd, void* out, size_t n) {
  for (;;) {
    const ssize_t got = read(fd, out, n);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool WriteAll(int fd, const void* bytes, size_t n) {
  const char* p = static_cast<const char*>(bytes);
  while (n != 0) {
    const ssize_t put = write(fd, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

bool Close(int fd) { return close(fd) == 0; }

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's path walk

// A descriptor closed when it goes, unless released.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& what, const std::string& shown, int error) {
  throw ToolFailure(what + " " + shown + ": " + std::strerror(error));
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The kernel's rule for protected symbolic links (fs.protected_symlinks),
// applied whatever that setting is: a link in a sticky, world-writable folder
// is followed only by its owner, or when the folder's owner owns it too.
bool MayFollow(const struct stat& link, const struct stat& folder) {
  if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
  return link.st_uid == geteuid() || link.st_uid == folder.st_uid;
}

bool OnProc(int folder) {
#if defined(__linux__)
  struct statfs fs {};
  return fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
#else
  (void)folder;
  return false;
#endif
}

// Six characters for a temporary's name.
std::string RandomSuffix() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
#if defined(__linux__)
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes))
#endif
  {
    // Names need only be unlikely to collide: O_EXCL refuses an existing one.
    static unsigned long counter = 0;
    const unsigned long mix = static_cast<unsigned long>(getpid()) * 2654435761u ^
                              static_cast<unsigned long>(std::time(nullptr)) ^ (counter++ * 40503u);
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(mix >> (5 * i));
  }
  std::string suffix;
  for (const unsigned char b : bytes) suffix += kChars[b % (sizeof kChars - 1)];
  return suffix;
}

// The permission bits of the new file, after giving it the replaced file's
// owner and group where the user may.
mode_t Permissions(int fd, const struct stat* replaced, Privacy privacy) {
  if (replaced != nullptr) {
    // Root keeps both; others keep the group when they belong to it. A file
    // whose group cannot be kept loses the group's bits, which would now
    // grant them to the writer's group.
    bool groupKept = fchown(fd, replaced->st_uid, replaced->st_gid) == 0 ||
                     fchown(fd, static_cast<uid_t>(-1), replaced->st_gid) == 0;
    struct stat now {};
    if (!groupKept && fstat(fd, &now) == 0) groupKept = now.st_gid == replaced->st_gid;
    if (privacy == Privacy::kKey) return 0600;
    // Never set-user-ID, set-group-ID or sticky.
    return replaced->st_mode & (groupKept ? 0777 : 0707);
  }
  if (privacy != Privacy::kPublic) return 0600;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

Destination OpenDestination(const std::string& path, const std::string& shown, Privacy privacy) {
  // The path is walked one symbolic link at a time: each link is checked
  // with the rule above and read through a descriptor of the link itself,
  // and the folder it lies in is held open, so what is checked is what is
  // used. The folders on the way are opened by the kernel (its own rule for
  // links applies there).
  Fd base(AT_FDCWD);  // what a relative link is read against
  std::string current = path;
  Fd folder;
  std::string name;
  struct stat entry {};
  bool exists = false;
  for (int links = 0;; ++links) {
    const size_t slash = current.find_last_of('/');
    name = slash == std::string::npos ? current : current.substr(slash + 1);
    const std::string folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : current.substr(0, slash);
    if (name.empty() || name == "." || name == "..") Fail("cannot create", shown, EISDIR);
    folder.Reset(openat(base.get(), folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) Fail("cannot create", shown, errno);
    Fd link(openat(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (link.get() < 0) {
      if (errno != ENOENT) Fail("cannot create", shown, errno);
      break;  // a new file
    }
    if (fstat(link.get(), &entry) != 0) Fail("cannot create", shown, errno);
    if (!S_ISLNK(entry.st_mode)) {
      exists = true;
      break;
    }
    struct stat folderStat {};
    if (fstat(folder.get(), &folderStat) != 0) Fail("cannot create", shown, errno);
    if (!MayFollow(entry, folderStat)) {
      throw ToolFailure("refusing to follow the symbolic link " + Quoted(current) +
                        ": it belongs to another user and lies in a sticky folder others can write to "
                        "(as the kernel's protected_symlinks rule refuses)");
    }
    if (links >= kMaxLinks) Fail("cannot create", shown, ELOOP);
    if (OnProc(folder.get())) {
      // /proc's links (/dev/stdout, /proc/self/fd/N) name open files rather
      // than paths: the kernel follows them, and the file is written in place.
      const int fd = openat(folder.get(), name.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
      if (fd < 0) Fail("cannot open", shown, errno);
      Destination d;
      d.fd = fd;
      d.inPlace = true;
      return d;
    }
    char text[4096];
    const ssize_t n = readlinkat(link.get(), "", text, sizeof text);
    if (n < 0 || static_cast<size_t>(n) >= sizeof text) Fail("cannot create", shown, n < 0 ? errno : ENAMETOOLONG);
    current.assign(text, static_cast<size_t>(n));
    base.Reset(folder.release());
  }

  Destination d;
  if (exists && !S_ISREG(entry.st_mode)) {
    // A device or a pipe is written in place (a folder fails to open).
    const int fd = openat(folder.get(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open", shown, errno);
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || S_ISREG(opened.st_mode)) {
      close(fd);
      Fail("cannot open", shown, EAGAIN);  // replaced by a regular file meanwhile
    }
    d.fd = fd;
    d.inPlace = true;
    return d;
  }
  for (int attempt = 0; attempt < 100 && d.fd < 0; ++attempt) {
    d.temporary = "." + name + ".orvo-" + RandomSuffix();
    d.fd = openat(folder.get(), d.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (d.fd < 0 && errno != EEXIST) break;
  }
  if (d.fd < 0) Fail("cannot create", shown, errno);
  if (fchmod(d.fd, Permissions(d.fd, exists ? &entry : nullptr, privacy)) != 0) {
    const int error = errno;
    close(d.fd);
    unlinkat(folder.get(), d.temporary.c_str(), 0);
    Fail("cannot create", shown, error);
  }
  d.folder = folder.release();
  d.name = name;
  return d;
}

bool SyncFile(int fd) { return fsync(fd) == 0; }

bool CommitDestination(Destination& d) {
  return renameat(d.folder, d.temporary.c_str(), d.folder, d.name.c_str()) == 0;
}

void DiscardDestination(Destination& d) noexcept {
  if (d.fd >= 0) close(d.fd);
  d.fd = -1;
  if (!d.temporary.empty()) unlinkat(d.folder, d.temporary.c_str(), 0);
}

void CloseFolder(Destination& d) noexcept {
  if (d.folder >= 0) close(d.folder);
  d.folder = -1;
}

void RemoveFileInHandler(int folder, const char* name) { unlinkat(folder, name, 0); }

}  // namespace orvo::cli::platform
