// What the tool needs from the operating system, chosen per platform by file
// (platform_posix.cpp, platform_win.cpp). Files are read and written through
// descriptors with the system's read and write calls, never through stdio,
// whose buffers would keep copies of keys and plaintext in freed memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orvo::cli::platform {

// Standard input and output carry raw bytes (Windows opens them in text mode).
void SetBinaryStdio();
bool IsTerminal(int fd);
// The size of an open regular file, or -1 for anything else (a pipe, a terminal).
int64_t RegularFileSize(int fd);

// Opens a file for reading; -1 with errno set on failure.
int OpenForReading(const std::string& path);
// One read(2): the bytes read, 0 at the end, -1 with errno set (EINTR retried).
std::ptrdiff_t ReadSome(int fd, void* out, size_t n);
// Writes all n bytes; false with errno set on failure (EINTR retried).
bool WriteAll(int fd, const void* bytes, size_t n);
// Closes a descriptor; false with errno set when that reports an error.
bool Close(int fd);

// Who may read a file that -o creates.
enum class Privacy {
  kPublic,     // a new file gets 0666 less the umask; a replaced file keeps its permissions
  kPlaintext,  // a new file gets 0600; a replaced file keeps its permissions
  kKey,        // 0600 always, also over an existing file
};

// Where `-o PATH` goes. Devices and pipes (`inPlace`) are opened and written
// in place. Everything else is written to a new temporary beside the file
// that the path names (through symbolic links, so that a link stays a link)
// and renamed over that file by Commit: `folder` is the folder's descriptor
// (POSIX; -1 on Windows, where the names are whole paths), `temporary` the
// temporary's name in it and `name` the file's. A replaced file keeps its
// owner and group where the user may give them (else the group's permission
// bits are dropped), and never set-user-ID, set-group-ID or sticky bits.
struct Destination {
  int fd = -1;
  bool inPlace = false;
  int folder = -1;
  std::string temporary;
  std::string name;
};

// Opens the destination of `path`; on failure throws ToolFailure with a
// message naming `shown` ("cannot create 'f': ...", "refusing to follow the
// symbolic link ...").
Destination OpenDestination(const std::string& path, const std::string& shown, Privacy privacy);
// Flushes a file to the device; false with errno set on failure.
bool SyncFile(int fd);
// Renames the temporary (written, flushed and closed) over the file; false
// with errno set on failure.
bool CommitDestination(Destination& d);
// Closes and removes the temporary (after a failure).
void DiscardDestination(Destination& d) noexcept;
// Closes the folder's descriptor, once the temporary is gone or in place.
void CloseFolder(Destination& d) noexcept;
// Removes a temporary; safe in a signal handler.
void RemoveFileInHandler(int folder, const char* name);

}  // namespace orvo::cli::platform
