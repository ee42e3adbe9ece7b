#include "tools/orvocrypto/io.h"

#include <algorithm>
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
// it can read without allocating.
constexpr size_t kSlots = 4;
constexpr size_t kPathRoom = 4096;
char g_temporaries[kSlots][kPathRoom];
volatile std::sig_atomic_t g_inUse[kSlots];

int RegisterTemporary(const std::string& path) {
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_inUse[i] == 0 && path.size() < kPathRoom) {
      std::memcpy(g_temporaries[i], path.c_str(), path.size() + 1);
      g_inUse[i] = 1;
      return static_cast<int>(i);
    }
  }
  return -1;
}

void ForgetTemporary(const std::string& path) {
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_inUse[i] != 0 && path == g_temporaries[i]) g_inUse[i] = 0;
  }
}

extern "C" void RemoveTemporariesAndDie(int signal) {
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_inUse[i] != 0) platform::RemoveFileInHandler(g_temporaries[i]);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

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
    : file_(nullptr), ownsFile_(!(path.empty() || path == "-")), name_(ownsFile_ ? Quoted(path) : "standard input"),
      format_(format) {
  file_ = ownsFile_ ? std::fopen(path.c_str(), "rb") : stdin;
  if (file_ == nullptr) throw ToolFailure("cannot open " + name_ + ": " + std::strerror(errno));
  if (format_ == Format::kRaw) size_ = platform::RegularFileSize(file_);
}

Input::~Input() {
  if (ownsFile_ && file_ != nullptr) std::fclose(file_);
  SecureWipe(text_.data(), text_.size());
  SecureWipe(decoded_.data(), decoded_.capacity());
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

size_t Input::ReadSome(uint8_t* out, size_t n) {
  if (format_ == Format::kRaw) {
    const size_t got = std::fread(out, 1, n, file_);
    if (got == 0) {
      if (std::ferror(file_) != 0) throw ToolFailure("cannot read " + name_ + ": " + std::strerror(errno));
      ended_ = true;
    }
    return got;
  }
  // Encoded text is decoded a chunk at a time into `decoded_`, served from there.
  if (decodedAt_ == decoded_.size()) {
    text_.resize(Chunk());
    decoded_.resize(Chunk() + 3);  // a chunk of text, and what the decoders held from earlier ones
    const size_t got = std::fread(text_.data(), 1, text_.size(), file_);
    size_t made = 0;
    try {
      if (got == 0) {
        if (std::ferror(file_) != 0) throw ToolFailure("cannot read " + name_ + ": " + std::strerror(errno));
        if (format_ == Format::kHex) {
          hex_.Finish();
        } else {
          made = base64_.Finish(decoded_.data());
        }
        if (made == 0) ended_ = true;
      } else {
        made = format_ == Format::kHex ? hex_.Feed(text_.data(), got, decoded_.data())
                                       : base64_.Feed(text_.data(), got, decoded_.data());
      }
    } catch (const std::invalid_argument& e) {
      throw ToolFailure(name_ + " " + e.what());
    }
    decoded_.resize(made);
    decodedAt_ = 0;
  }
  const size_t take = std::min(n, decoded_.size() - decodedAt_);
  std::memcpy(out, decoded_.data() + decodedAt_, take);
  decodedAt_ += take;
  return take;
}

XBlob ReadWholeFile(const std::string& path, Format format) {
  Input input(path, format);
  XBlob blob(4096);
  std::vector<uint8_t> buffer(65536);
  size_t got;
  while ((got = input.Read(buffer.data(), buffer.size())) > 0) {
    if (uint64_t{blob.size} + got > 0xFFFFFFFFu) throw ToolFailure(input.Name() + " is larger than 4 GiB");
    blob.Append(buffer.data(), static_cast<uint32_t>(got));
  }
  SecureWipe(buffer.data(), buffer.size());
  return blob;
}

Output::Output(const std::string& path, Format format, bool binary, bool secret) : format_(format) {
  if (path.empty() || path == "-") {
    if (binary && format == Format::kRaw && platform::IsTerminal(stdout)) {
      throw ToolFailure("binary output is not written to a terminal: use -o FILE, --hex or --base64, or a pipe");
    }
    file_ = stdout;
    name_ = "standard output";
    return;
  }
  name_ = Quoted(path);
  const platform::Target target = platform::ResolveTarget(path);
  if (target.special) {
    file_ = std::fopen(target.path.c_str(), "wb");
    if (file_ == nullptr) throw ToolFailure("cannot open " + name_ + ": " + std::strerror(errno));
    return;
  }
  std::string temporary;
  file_ = platform::CreateTemporaryBeside(target.path, secret, temporary);
  if (file_ == nullptr) throw ToolFailure("cannot create " + name_ + ": " + std::strerror(errno));
  if (RegisterTemporary(temporary) < 0) {
    std::fclose(file_);
    std::remove(temporary.c_str());
    file_ = nullptr;
    throw ToolFailure("cannot create " + name_ + ": too many outputs");
  }
  temporary_ = temporary;
  target_ = target.path;
}

Output::~Output() {
  if (committed_ || file_ == nullptr) return;
  if (file_ == stdout) {
    std::fflush(stdout);
    return;
  }
  std::fclose(file_);
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    ForgetTemporary(temporary_);
  }
}

void Output::Put(const char* bytes, size_t n) {
  if (n != 0 && std::fwrite(bytes, 1, n, file_) != n) {
    throw ToolFailure("cannot write " + name_ + ": " + std::strerror(errno));
  }
}

void Output::Write(const uint8_t* bytes, size_t n) {
  switch (format_) {
    case Format::kRaw:
      Put(reinterpret_cast<const char*>(bytes), n);
      return;
    case Format::kHex:
      for (size_t done = 0; done < n;) {
        const size_t piece = std::min(n - done, Chunk() / 2);
        text_.resize(2 * piece);
        Put(text_.data(), EncodeHex(bytes + done, piece, text_.data()));
        done += piece;
      }
      return;
    case Format::kBase64:
      for (size_t done = 0; done < n;) {
        const size_t piece = std::min(n - done, Chunk() / 2);
        text_.resize(Base64Encoder::Room(piece));
        Put(text_.data(), base64_.Feed(bytes + done, piece, text_.data()));
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
  if (file_ == stdout) {
    if (std::fflush(stdout) != 0) throw ToolFailure("cannot write standard output: " + std::string(std::strerror(errno)));
    committed_ = true;
    return;
  }
  FILE* f = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(f) == 0 && (temporary_.empty() || platform::SyncFile(f));
  const int error = errno;
  const bool closed = std::fclose(f) == 0;
  if (!flushed || !closed) {
    if (!temporary_.empty()) {
      std::remove(temporary_.c_str());
      ForgetTemporary(temporary_);
    }
    throw ToolFailure("cannot write " + name_ + ": " + std::strerror(flushed ? errno : error));
  }
  if (!temporary_.empty()) {
    if (!platform::RenameOver(temporary_, target_)) {
      const int renameError = errno;
      std::remove(temporary_.c_str());
      ForgetTemporary(temporary_);
      throw ToolFailure("cannot replace " + name_ + ": " + std::strerror(renameError));
    }
    ForgetTemporary(temporary_);
  }
  committed_ = true;
}

WipedBuffer::~WipedBuffer() { SecureWipe(bytes_.data(), bytes_.size()); }

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
    : enabled_(args.Has("progress") || (!args.Has("quiet") && platform::IsTerminal(stderr))),
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
