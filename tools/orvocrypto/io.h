// The tool's input and output: data read and written in bounded chunks,
// decoded from or encoded to hexadecimal or Base64 when asked, output files
// replaced only once complete, and the progress line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/xblob.h"
#include "tools/orvocrypto/codec.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/platform.h"

namespace orvo::cli {

// The size of the chunks commands read and write (a multiple of every block size).
inline constexpr size_t kChunk = size_t{1} << 20;
// The chunk size in use: kChunk, unless a fuzzer or test set a smaller one
// (a positive multiple of 16; 0 restores kChunk) so that inputs of a few
// bytes cross chunk boundaries and no command fills megabytes per call.
size_t Chunk();
void SetChunkForTesting(size_t bytes);

class Input;

// The chunk for reading `input` to its end: Chunk(), or for a regular file
// smaller than that, its size rounded up to whole pages, so that a small file
// costs no megabyte of buffer to fill and wipe.
size_t ChunkFor(const Input& input);
// The first buffer for an input of unknown size (a pipe): reading starts with
// this much and moves to Chunk() once a read fills it.
inline constexpr size_t kFirstChunk = size_t{1} << 16;

// A working buffer of a fixed size, wiped in full when it goes (it may hold
// plaintext, key bytes or their encoded text).
class WipedBuffer {
 public:
  explicit WipedBuffer(size_t n) : bytes_(new uint8_t[n]()), size_(n), wipe_(n) {}
  // A buffer whose owner reports how far it has written (Written): it is not
  // zeroed when made, and only that far is wiped, so that a large buffer of
  // which a few bytes were used costs no more than those bytes.
  struct Marked {};
  WipedBuffer(size_t n, Marked) : bytes_(new uint8_t[n]), size_(n), wipe_(0) {}
  void Written(size_t end) {
    if (end > wipe_) wipe_ = end < size_ ? end : size_;
  }
  ~WipedBuffer();
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;
  uint8_t* data() { return bytes_.get(); }
  char* chars() { return reinterpret_cast<char*>(bytes_.get()); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_;
  size_t wipe_;  // bytes wiped when it goes
};

// The format named by option `name` (raw when absent); UsageError for others.
// For `output-format`, --hex and --base64 are short forms.
Format FormatOption(const Arguments& args, const std::string& name);

// A file or standard input ("-" or an empty path), read in chunks with the
// system's read call (no stdio buffer keeps a copy) and decoded as `format`
// says. Failures (open, read, decoding) are ToolFailures naming the input.
class Input {
 public:
  explicit Input(const std::string& path, Format format = Format::kRaw);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Up to n bytes into `out`, fewer only at the end; 0 at the end.
  size_t Read(uint8_t* out, size_t n);
  // The bytes a raw regular file holds, else -1 (standard input, pipes, encoded input).
  int64_t KnownSize() const { return size_; }
  const std::string& Name() const { return name_; }

 private:
  size_t ReadSome(uint8_t* out, size_t n);  // one read and decode; 0 at the end
  size_t ReadRaw(uint8_t* out, size_t n);   // one read(2)

  int fd_;
  bool ownsFd_;
  std::string name_;
  Format format_;
  int64_t size_ = -1;
  bool ended_ = false;
  HexDecoder hex_;
  Base64Decoder base64_;
  std::unique_ptr<WipedBuffer> text_;     // encoded text read, before decoding
  std::unique_ptr<WipedBuffer> decoded_;  // its bytes, served from decodedAt_
  size_t decodedSize_ = 0;
  size_t decodedAt_ = 0;
};

// A whole file (keys, seeds, labels, signatures), decoded as `format` says.
XBlob ReadWholeFile(const std::string& path, Format format = Format::kRaw);

// Where results go: standard output ("-" or an empty path) or a file. A file
// is written to a temporary file beside it that replaces it only at Commit,
// after everything was written and flushed to the device; a failure, an
// exception, SIGINT, SIGTERM or SIGHUP removes the temporary and leaves the
// file as it was. Devices and pipes named by -o are written in place. A
// symbolic link is followed only where the kernel's protected-symlinks rule
// would follow it (see platform.h). Bytes are gathered in a buffer of the
// tool's own, wiped when done, and written with the system's write call.
class Output {
 public:
  // `binary`: raw bytes that mean nothing to a reader (ciphertext, keys,
  // random bytes), refused on a terminal (use -o, hex or Base64). With
  // the hex and Base64 formats the text ends in a newline. `privacy`: who
  // may read a new file (platform::Privacy).
  Output(const std::string& path, Format format, bool binary,
         platform::Privacy privacy = platform::Privacy::kPublic);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(const uint8_t* bytes, size_t n);
  void Write(const XBlob& blob) { Write(blob.data, blob.size); }
  void WriteText(const std::string& text);
  // Ends the encoded text, flushes and puts the file in place.
  void Commit();

 private:
  void Put(const char* bytes, size_t n);
  void Flush();
  void Abandon() noexcept;  // closes and removes an unfinished temporary

  int fd_ = -1;
  bool toStdout_ = false;
  platform::Destination destination_;
  int slot_ = -1;          // the signal handler's record of the temporary
  std::string name_;       // for messages
  Format format_;
  Base64Encoder base64_;
  WipedBuffer buffer_;     // marked: every byte put in it is counted in held_ before a Flush
  size_t held_ = 0;        // bytes in buffer_ not yet written
  bool committed_ = false;
};

// Removes the temporaries of unfinished outputs on SIGINT, SIGTERM and SIGHUP,
// then ends the process by the signal. Called once, by main.
void InstallSignalCleanup();

// The progress line on standard error: bytes done, percentage, rate and time
// left, at most ten updates a second. Shown when `--progress` is given, or
// when standard error is a terminal, `--quiet` is not given and the work has
// run for a second or passed 64 MiB. The line is erased when done.
class Progress {
 public:
  Progress(const Arguments& args, const std::string& command, int64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Advance(size_t n);

 private:
  void Draw(std::chrono::steady_clock::time_point now);

  bool enabled_;
  bool forced_;
  bool shown_ = false;
  std::string command_;
  int64_t total_;
  uint64_t done_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

// Reads `input` to its end in chunks, passing each to feed(bytes, n) and
// counting it in `progress`. A small input gets a small buffer (ChunkFor,
// kFirstChunk); a read that fills it moves on to a whole chunk.
template <typename Feed>
void Pump(Input& input, Progress& progress, Feed feed) {
  const size_t first = input.KnownSize() >= 0 ? ChunkFor(input) : kFirstChunk < Chunk() ? kFirstChunk : Chunk();
  auto buffer = std::make_unique<WipedBuffer>(first);
  size_t got;
  while ((got = input.Read(buffer->data(), buffer->size())) > 0) {
    feed(static_cast<const uint8_t*>(buffer->data()), got);
    progress.Advance(got);
    if (got == buffer->size() && buffer->size() < Chunk()) buffer = std::make_unique<WipedBuffer>(Chunk());
  }
}

}  // namespace orvo::cli
