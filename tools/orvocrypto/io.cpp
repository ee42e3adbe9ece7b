#include "tools/orvocrypto/io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "base/wipe.h"
#include "tools/orvocrypto/platform.h"

namespace orvo::cli {

using orvo::SecureWipe;

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The temporaries of unfinished outputs, for the signal handler: fixed slots
// it can read without allocating. A slot is filled, then marked in use; the
// fences keep the compiler from moving the copy past the mark (the handler
// runs on this thread, so no ordering between processors is needed).
constexpr size_t kSlots = 4;
constexpr size_t kNameRoom = 4096;
struct Temporary {
  int folder;
  char name[kNameRoom];
};
Temporary g_temporaries[kSlots];
volatile std::sig_atomic_t g_inUse[kSlots];

int RegisterTemporary(int folder, const std::string& name) {
  if (name.size() >= kNameRoom) return -1;
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_inUse[i] == 0) {
      g_temporaries[i].folder = folder;
      std::memcpy(g_temporaries[i].name, name.c_str(), name.size() + 1);
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_inUse[i] = 1;
      std::atomic_signal_fence(std::memory_order_seq_cst);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void ForgetTemporary(int& slot) noexcept {
  if (slot < 0) return;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_inUse[slot] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot = -1;
}

extern "C" void RemoveTemporariesAndDie(int signal) {
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_inUse[i] != 0) {
      std::atomic_signal_fence(std::memory_order_seq_cst);
      platform::RemoveFileInHandler(g_temporaries[i].folder, g_temporaries[i].name);
    }
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The size of Output's buffer.
constexpr size_t kOutputBuffer = size_t{1} << 16;

std::string Bytes(uint64_t n) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double v = static_cast<double>(n);
  int unit = 0;
  while (v >= 1024 && unit < 4) {
    v /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", v, kUnits[unit]);
  return text;
}

size_t g_chunk = kChunk;  // Chunk()

}  // namespace

size_t Chunk() { return g_chunk; }

void SetChunkForTesting(size_t bytes) { g_chunk = bytes == 0 ? kChunk : bytes; }

size_t ChunkFor(const Input& input) {
  const int64_t size = input.KnownSize();
  if (size < 0) return Chunk();
  // One byte more than the file holds, so that the first read that comes up
  // short ends it; in pages, so that the size stays a multiple of every block.
  const uint64_t room = (static_cast<uint64_t>(size) + 1 + 4095) / 4096 * 4096;
  return room < Chunk() ? static_cast<size_t>(room) : Chunk();
}

Format FormatOption(const Arguments& args, const std::string& name) {
  Format format = Format::kRaw;
  if (name == "output-format") {
    if (args.Has("hex")) format = Format::kHex;
    if (args.Has("base64")) format = Format::kBase64;
    if (args.Has("hex") && args.Has("base64")) throw UsageError("--hex and --base64 exclude each other");
    if (!args.Has(name)) return format;
    if ((args.Has("hex") || args.Has("base64"))) throw UsageError("--output-format and --hex/--base64 exclude each other");
  }
  if (args.Has(name) && !ParseFormat(args.Value(name), format)) {
    throw UsageError("--" + name + " takes raw, hex or base64, not '" + args.Value(name) + "'");
  }
  return format;
}

Input::Input(const std::string& path, Format format)
    : fd_(-1), ownsFd_(!(path.empty() || path == "-")), name_(ownsFd_ ? Quoted(path) : "standard input"),
      format_(format) {
  fd_ = ownsFd_ ? platform::OpenForReading(path) : 0;
  if (fd_ < 0) throw ToolFailure("cannot open " + name_ + ": " + std::strerror(errno));
  if (format_ == Format::kRaw) {
    size_ = platform::RegularFileSize(fd_);
  } else {
    text_ = std::make_unique<WipedBuffer>(Chunk());
    decoded_ = std::make_unique<WipedBuffer>(Chunk() + 3);  // a chunk of text, and what the decoders held
  }
}

Input::~Input() {
  if (ownsFd_ && fd_ >= 0) platform::Close(fd_);
}

size_t Input::Read(uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n && !ended_) {
    const size_t piece = ReadSome(out + got, n - got);
    if (piece == 0 && !ended_) continue;
    got += piece;
  }
  return got;
}

size_t Input::ReadRaw(uint8_t* out, size_t n) {
  const std::ptrdiff_t got = platform::ReadSome(fd_, out, n);
  if (got < 0) throw ToolFailure("cannot read " + name_ + ": " + std::strerror(errno));
  return static_cast<size_t>(got);
}

size_t Input::ReadSome(uint8_t* out, size_t n) {
  if (format_ == Format::kRaw) {
    const size_t got = ReadRaw(out, n);
    if (got == 0) ended_ = true;
    return got;
  }
  // Encoded text is decoded a chunk at a time into `decoded_`, served from there.
  if (decodedAt_ == decodedSize_) {
    const size_t got = ReadRaw(text_->data(), text_->size());
    size_t made = 0;
    try {
      if (got == 0) {
        if (format_ == Format::kHex) {
          hex_.Finish();
        } else {
          made = base64_.Finish(decoded_->data());
        }
        if (made == 0) ended_ = true;
      } else {
        made = format_ == Format::kHex ? hex_.Feed(text_->chars(), got, decoded_->data())
                                       : base64_.Feed(text_->chars(), got, decoded_->data());
      }
    } catch (const std::invalid_argument& e) {
      throw ToolFailure(name_ + " " + e.what());
    }
    decodedSize_ = made;
    decodedAt_ = 0;
  }
  const size_t take = std::min(n, decodedSize_ - decodedAt_);
  std::memcpy(out, decoded_->data() + decodedAt_, take);
  decodedAt_ += take;
  return take;
}

XBlob ReadWholeFile(const std::string& path, Format format) {
  Input input(path, format);
  XBlob blob(4096);
  WipedBuffer buffer(65536, WipedBuffer::Marked{});
  size_t got;
  while ((got = input.Read(buffer.data(), buffer.size())) > 0) {
    buffer.Written(got);
    if (uint64_t{blob.size} + got > 0xFFFFFFFFu) throw ToolFailure(input.Name() + " is larger than 4 GiB");
    blob.Append(buffer.data(), static_cast<uint32_t>(got));
  }
  return blob;
}

Output::Output(const std::string& path, Format format, bool binary, platform::Privacy privacy)
    : format_(format), buffer_(kOutputBuffer, WipedBuffer::Marked{}) {
  if (path.empty() || path == "-") {
    if (binary && format == Format::kRaw && platform::IsTerminal(1)) {
      throw ToolFailure("binary output is not written to a terminal: use -o FILE, --hex or --base64, or a pipe");
    }
    fd_ = 1;
    toStdout_ = true;
    name_ = "standard output";
    return;
  }
  name_ = Quoted(path);
  destination_ = platform::OpenDestination(path, name_, privacy);
  fd_ = destination_.fd;
  if (destination_.inPlace) return;
  slot_ = RegisterTemporary(destination_.folder, destination_.temporary);
  if (slot_ < 0) {
    platform::DiscardDestination(destination_);
    platform::CloseFolder(destination_);
    fd_ = -1;
    throw ToolFailure("cannot create " + name_ + ": too many outputs");
  }
}

void Output::Abandon() noexcept {
  platform::DiscardDestination(destination_);
  ForgetTemporary(slot_);
  platform::CloseFolder(destination_);
  fd_ = -1;
}

Output::~Output() {
  buffer_.Written(held_);
  if (committed_ || fd_ < 0) return;
  if (toStdout_) {
    // What was written so far goes out, as it would have without the buffer.
    platform::WriteAll(fd_, buffer_.data(), held_);
    return;
  }
  if (destination_.inPlace) {
    platform::Close(fd_);
    return;
  }
  Abandon();
}

void Output::Flush() {
  buffer_.Written(held_);
  if (held_ != 0 && !platform::WriteAll(fd_, buffer_.data(), held_)) {
    throw ToolFailure("cannot write " + name_ + ": " + std::strerror(errno));
  }
  held_ = 0;
}

void Output::Put(const char* bytes, size_t n) {
  if (held_ == 0 && n >= buffer_.size()) {
    if (!platform::WriteAll(fd_, bytes, n)) throw ToolFailure("cannot write " + name_ + ": " + std::strerror(errno));
    return;
  }
  while (n != 0) {
    if (held_ == buffer_.size()) Flush();
    const size_t take = std::min(n, buffer_.size() - held_);
    std::memcpy(buffer_.chars() + held_, bytes, take);
    held_ += take;
    bytes += take;
    n -= take;
  }
}

void Output::Write(const uint8_t* bytes, size_t n) {
  switch (format_) {
    case Format::kRaw:
      Put(reinterpret_cast<const char*>(bytes), n);
      return;
    case Format::kHex:
      // Encoded straight into the buffer.
      for (size_t done = 0; done < n;) {
        if (buffer_.size() - held_ < 2) Flush();
        const size_t piece = std::min(n - done, (buffer_.size() - held_) / 2);
        held_ += EncodeHex(bytes + done, piece, buffer_.chars() + held_);
        done += piece;
      }
      return;
    case Format::kBase64:
      for (size_t done = 0; done < n;) {
        if (buffer_.size() - held_ < Base64Encoder::Room(3)) Flush();
        const size_t piece = std::min(n - done, (buffer_.size() - held_ - 4) / 4 * 3);
        held_ += base64_.Feed(bytes + done, piece, buffer_.chars() + held_);
        done += piece;
      }
      return;
  }
}

void Output::WriteText(const std::string& text) { Put(text.data(), text.size()); }

void Output::Commit() {
  if (format_ != Format::kRaw) {
    char last[8];
    size_t n = format_ == Format::kBase64 ? base64_.Finish(last) : 0;
    last[n++] = '\n';
    Put(last, n);
  }
  if (toStdout_ || destination_.inPlace) {
    Flush();
    if (destination_.inPlace) {
      const bool closed = platform::Close(fd_);
      fd_ = -1;
      if (!closed) throw ToolFailure("cannot write " + name_ + ": " + std::strerror(errno));
    }
    committed_ = true;
    return;
  }
  try {
    Flush();
  } catch (...) {
    Abandon();
    throw;
  }
  const bool synced = platform::SyncFile(fd_);
  int error = errno;
  platform::Close(fd_);
  destination_.fd = -1;
  fd_ = -1;
  if (!synced || !platform::CommitDestination(destination_)) {
    if (synced) error = errno;
    Abandon();
    throw ToolFailure(std::string(synced ? "cannot replace " : "cannot write ") + name_ + ": " + std::strerror(error));
  }
  ForgetTemporary(slot_);
  platform::CloseFolder(destination_);
  committed_ = true;
}

WipedBuffer::~WipedBuffer() { SecureWipe(bytes_.get(), wipe_); }

void InstallSignalCleanup() {
  std::signal(SIGINT, RemoveTemporariesAndDie);
  std::signal(SIGTERM, RemoveTemporariesAndDie);
#ifdef SIGHUP
  std::signal(SIGHUP, RemoveTemporariesAndDie);
#endif
#ifdef SIGXFSZ
  // A file size limit fails the write (EFBIG) instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

Progress::Progress(const Arguments& args, const std::string& command, int64_t total)
    : enabled_(args.Has("progress") || (!args.Has("quiet") && platform::IsTerminal(2))),
      forced_(args.Has("progress")),
      command_(command),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

Progress::~Progress() {
  if (!shown_) return;
  // Erase the line, so that what follows on the terminal starts clean.
  std::fprintf(stderr, "\r%*s\r", 79, "");
  std::fflush(stderr);
}

void Progress::Advance(size_t n) {
  done_ += n;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!shown_ && !forced_ && done_ < (uint64_t{64} << 20) && now - start_ < std::chrono::seconds(1)) return;
  if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
  Draw(now);
}

void Progress::Draw(std::chrono::steady_clock::time_point now) {
  shown_ = true;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
  std::string line = "orvocrypto " + command_ + ": " + Bytes(done_);
  if (total_ > 0) {
    char part[64];
    std::snprintf(part, sizeof part, " of %s (%.0f%%)", Bytes(static_cast<uint64_t>(total_)).c_str(),
                  100.0 * static_cast<double>(done_) / static_cast<double>(total_));
    line += part;
  }
  line += ", " + Bytes(static_cast<uint64_t>(rate)) + "/s";
  if (total_ > 0 && rate > 0 && static_cast<uint64_t>(total_) > done_) {
    const auto left = static_cast<long long>(static_cast<double>(static_cast<uint64_t>(total_) - done_) / rate + 0.5);
    char part[48];
    std::snprintf(part, sizeof part, ", %lld:%02lld left", left / 60, left % 60);
    line += part;
  }
  std::fprintf(stderr, "\r%-79s", line.c_str());
  std::fflush(stderr);
}

}  // namespace orvo::cli
