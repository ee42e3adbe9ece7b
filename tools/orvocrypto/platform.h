// What the tool needs from the operating system, chosen per platform by file
// (platform_posix.cpp, platform_win.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvo::cli::platform {

// Standard input and output carry raw bytes (Windows opens them in text mode).
void SetBinaryStdio();
bool IsTerminal(FILE* f);
// The size of an open regular file, or -1 for anything else (a pipe, a terminal).
int64_t RegularFileSize(FILE* f);

// Where `-o PATH` goes: the file a symbolic link names (so that the link
// stays), and whether that is something other than a regular file or a new
// name (a device, a pipe), which is written in place rather than replaced.
struct Target {
  std::string path;
  bool special = false;
};
Target ResolveTarget(const std::string& path);

// A new, empty file in the folder of `target`, open for binary writing, its
// name in `tempPath`. It is created readable by its owner only; unless
// `secret`, it then gets the permission bits of the existing target, or those
// a new file gets (0666 less the umask). Null, with errno set, on failure.
FILE* CreateTemporaryBeside(const std::string& target, bool secret, std::string& tempPath);
// Flushes the file's buffers to the device.
bool SyncFile(FILE* f);
// Renames `from` over `to` (replacing it).
bool RenameOver(const std::string& from, const std::string& to);
// Removes a file; safe in a signal handler.
void RemoveFileInHandler(const char* path);

}  // namespace orvo::cli::platform
