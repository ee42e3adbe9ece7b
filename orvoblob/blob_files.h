// Whole-file reads and writes for LoadFromFile and SaveToFile. Paths are the
// platform's wide text (a BSTR's characters); the file is opened per platform
// (blob_files_posix.cpp: the path as UTF-8, blob_files_win.cpp: the wide path).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orvo {

// Reads every byte of the file. Fails, with a message in `error`, when the
// file cannot be opened or read, or holds more than `limit` bytes.
bool ReadWholeFile(const std::wstring& path, std::size_t limit, std::vector<uint8_t>& out, std::string& error);

// Creates or truncates the file and writes the bytes.
bool WriteWholeFile(const std::wstring& path, const uint8_t* bytes, std::size_t n, std::string& error);

// The platform's fopen over a wide path ("rb" or "wb"); null on failure.
std::FILE* OpenFile(const std::wstring& path, bool forWriting);

}  // namespace orvo
