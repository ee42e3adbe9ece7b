// Symmetric cipher commands: keygen, encrypt, decrypt.
//
// Each command works on a fresh cipher, set up as a scripting object sets up
// its own (ECB, filler 0, zero chaining register), so sealed data made here is
// what an object's Encrypt gives on its first call. Data streams through the
// cipher a chunk at a time with the chaining register carried along, which
// gives the bytes of one call over the whole input.
//
// Record mode (--records) reads lines of hex or Base64, one sealed value
// each as sites stored them one per database row, and writes one line per
// record: the key schedule is made once and the chaining register goes back
// to its start before each record (or carries on, with --chain).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "base/ascii.h"
#include "crypto/block_cipher.h"
#include "crypto/cipher_by_name.h"
#include "crypto/filler.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"
#include "tools/orvocrypto/key_check.h"

namespace orvo::cli {
namespace {

std::unique_ptr<XBlockCipher> NewCipher(const Arguments& args) {
  if (args.Positional().empty()) throw UsageError(std::string("missing CIPHER (") + kCipherNames + ")");
  std::unique_ptr<XBlockCipher> cipher = NewCipherNamed(args.Positional()[0]);
  if (cipher == nullptr) {
    throw UsageError("unknown cipher '" + args.Positional()[0] + "' (" + kCipherNames + ")");
  }
  return cipher;
}

// The seed: a file's bytes as they are (--seed), or a pass phrase from a file
// or an environment variable with one trailing newline dropped.
XBlob SeedBytes(const Arguments& args) {
  const int given = (args.Has("seed") ? 1 : 0) + (args.Has("passphrase-file") ? 1 : 0) + (args.Has("passphrase-env") ? 1 : 0);
  if (given != 1) throw UsageError("give one of --seed, --passphrase-file and --passphrase-env");
  if (args.Has("passphrase-env")) {
    const std::string name = args.Value("passphrase-env");
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) throw ToolFailure("the environment variable " + name + " is not set");
    // Straight into the seed's buffer, which is wiped: no other copy is made.
    size_t length = std::strlen(value);
    if (length > 0xFFFFFFF0u) throw ToolFailure("the environment variable " + name + " is too long");
    if (length != 0 && value[length - 1] == '\n') --length;
    if (length != 0 && value[length - 1] == '\r') --length;
    XBlob seed(16);
    seed.Append(reinterpret_cast<const uint8_t*>(value), static_cast<uint32_t>(length));
    return seed;
  }
  if (args.Has("passphrase-file")) {
    XBlob seed = ReadWholeFile(args.Value("passphrase-file"));
    if (seed.size != 0 && seed.data[seed.size - 1] == '\n') --seed.size;
    if (seed.size != 0 && seed.data[seed.size - 1] == '\r') --seed.size;
    return seed;
  }
  const std::string path = args.Value("seed");
  XBlob seed = ReadWholeFile(path);
  if ((path == "-" || path.empty()) && seed.size != 0 && seed.data[seed.size - 1] == '\n') {
    std::fprintf(stderr,
                 "orvocrypto keygen: warning: the seed from standard input ends in a newline, which is part of "
                 "the key (--passphrase-file - drops it)\n");
  }
  return seed;
}

// The seed, refused when empty unless --allow-empty-seed: every empty seed
// gives the same key, one anybody can compute.
XBlob Seed(const Arguments& args) {
  XBlob seed = SeedBytes(args);
  if (seed.size == 0 && !args.Has("allow-empty-seed")) {
    throw UsageError(std::string(args.Has("seed") ? "the seed" : "the pass phrase") +
                     " is empty, which gives a well-known key that anybody can compute (--allow-empty-seed makes "
                     "it anyway, to regenerate an existing key)");
  }
  return seed;
}

// "ecb" or "cbc" in any case, or the Mode property's numbers 1 and 2.
uint32_t ModeOf(const Arguments& args) {
  const std::string mode = AsciiLower(args.ValueOr("mode", "ecb"));
  if (mode == "ecb") return XBlockCipher::kModeECB;
  if (mode == "cbc") return XBlockCipher::kModeCBC;
  uint32_t number = 0;
  try {
    number = args.Number32("mode");
  } catch (const UsageError&) {
    // Not a number either: the message below names what is taken.
  }
  if (number != XBlockCipher::kModeECB && number != XBlockCipher::kModeCBC) {
    throw UsageError("--mode takes ecb (1) or cbc (2), not '" + args.Value("mode") + "'");
  }
  return number;
}

uint8_t FillerOf(const Arguments& args) {
  if (!args.Has("filler")) return 0;
  const std::string text = args.Value("filler");
  const UsageError refused("--filler takes a byte value, 0 to 255, not '" + text + "'");
  if (!text.empty() && text[0] == '-') throw refused;
  uint32_t filler = 0;
  try {
    filler = args.Number32("filler");
  } catch (const UsageError&) {
    throw refused;
  }
  if (filler > 255) throw refused;
  return static_cast<uint8_t>(filler);
}

// Keys the cipher with the key file's blob. A blob the cipher loads but its
// KeyGen never makes (another cipher's key that happens to load, a round count
// or length no seed gives) is used with a warning; a blob it refuses gets a
// hint when it looks like encoded text or another kind of key.
void LoadKey(XBlockCipher& cipher, const Arguments& args, Format format, const char* command) {
  const XBlob blob = ReadWholeFile(args.Value("key"), format);
  try {
    cipher.SetKey(blob);
  } catch (const XAlarm& alarm) {
    std::string hint = format == Format::kRaw ? EncodedKeyHint(blob) : "";
    const std::string looks = DescribeKeyBlob(blob);
    if (hint.empty() && !looks.empty()) hint = "the key file holds " + looks;
    if (hint.empty()) throw;
    char text[256];
    alarm.GetText(text, 255);
    throw ToolFailure(std::string(text) + "; " + hint);
  }
  const std::string warning = SymmetricKeyWarning(CipherName(args.Positional()[0]), blob);
  if (!warning.empty()) std::fprintf(stderr, "orvocrypto %s: warning: %s\n", command, warning.c_str());
}

struct Sealing {
  std::unique_ptr<XBlockCipher> cipher;
  std::unique_ptr<Input> input;
  std::unique_ptr<Output> output;
};

// The cipher keyed and set to the mode, and the input and output, in the
// order the whole-buffer tool reported their faults: input, key, output.
// Sealed data is not written to a terminal; opened data is, as
// decompressors write what they restore.
// In record mode the input is read as lines and the output written as lines
// of text, both undecoded here (RunRecords codes each record itself).
Sealing Prepare(const Arguments& args, bool encrypt) {
  args.AtMostPositional(2);
  const bool records = args.Has("records");
  Sealing s;
  s.cipher = NewCipher(args);
  s.cipher->mode = ModeOf(args);
  s.cipher->filler = FillerOf(args);
  const Format keyFormat = FormatOption(args, "key-format");
  const Format inFormat = FormatOption(args, "input-format");
  const Format outFormat = FormatOption(args, "output-format");
  s.input = std::make_unique<Input>(args.Positional().size() > 1 ? args.Positional()[1] : "-",
                                    records ? Format::kRaw : inFormat);
  LoadKey(*s.cipher, args, keyFormat, encrypt ? "encrypt" : "decrypt");
  // Opened data is plaintext: a new file is its owner's only.
  s.output = std::make_unique<Output>(args.ValueOr("output", ""), records ? Format::kRaw : outFormat,
                                      encrypt && !records,
                                      encrypt ? platform::Privacy::kPublic : platform::Privacy::kPlaintext);
  return s;
}

// --iv HEX: the chaining register to start from, one block; empty when not
// given. Only CBC reads the register, so --iv in ECB is refused as a slip.
std::vector<uint8_t> IvOf(const Arguments& args) {
  if (!args.Has("iv")) return {};
  if (ModeOf(args) != XBlockCipher::kModeCBC) throw UsageError("--iv is the CBC chaining register: give --mode cbc");
  const std::string text = args.Value("iv");
  std::vector<uint8_t> iv(text.size() / 2 + 1);
  try {
    HexDecoder hex;
    iv.resize(hex.Feed(text.data(), text.size(), iv.data()));
    hex.Finish();
  } catch (const std::invalid_argument& e) {
    throw UsageError(std::string("--iv ") + e.what());
  }
  return iv;
}

// The register every message (or every record) starts from: --iv, or zeros
// as on a new object. A wrong length is a usage error naming the one right.
std::vector<uint8_t> StartOf(const Arguments& args, const XBlockCipher& cipher) {
  const size_t bs = cipher.BlockSize();
  std::vector<uint8_t> start = IvOf(args);
  if (!args.Has("iv")) start.assign(bs, 0);
  if (start.size() != bs) {
    throw UsageError("--iv takes one block of " + args.Positional()[0] + ", " + std::to_string(2 * bs) +
                     " hexadecimal digits, not " + std::to_string(2 * start.size()));
  }
  return start;
}

// Sets the cipher up as a new object (mode and filler kept) with the
// chaining register at `start`.
void StartChain(XBlockCipher& cipher, const std::vector<uint8_t>& start) {
  cipher.Setup(cipher.mode, cipher.filler);
  std::memcpy(cipher.chain, start.data(), start.size());
}

void RequireRecordsFor(const Arguments& args, const char* option) {
  if (args.Has(option) && !args.Has("records")) throw UsageError(std::string("--") + option + " goes with --records");
}

// The opened data of a decryption, with --strip-filler less its trailing
// filler: the last block is held back until the end, the only place the
// filler can be.
class OpenedData {
 public:
  OpenedData(Output& output, bool strip, size_t bs, uint8_t filler)
      : output_(output), strip_(strip), bs_(bs), filler_(filler), last_(bs) {}

  void Write(const uint8_t* bytes, size_t n) {
    if (!strip_) {
      output_.Write(bytes, n);
      return;
    }
    if (n == 0) return;  // whole blocks only: n is 0 or at least one block
    if (held_) output_.Write(last_.data(), bs_);
    output_.Write(bytes, n - bs_);
    std::memcpy(last_.data(), bytes + n - bs_, bs_);
    held_ = true;
  }

  void Finish() {
    if (held_) output_.Write(last_.data(), orvo::WithoutFiller(last_.data(), bs_, bs_, filler_));
    held_ = false;
  }

 private:
  Output& output_;
  bool strip_;
  size_t bs_;
  uint8_t filler_;
  WipedBuffer last_;
  bool held_ = false;
};

int RunRecords(const Arguments& args, bool encrypt);

int RunSymmetric(const Arguments& args, bool encrypt) {
  RequireRecordsFor(args, "chain");
  if (args.Has("records")) return RunRecords(args, encrypt);
  const std::vector<uint8_t> start = StartOf(args, *NewCipher(args));  // usage errors before any file is opened
  Sealing s = Prepare(args, encrypt);
  StartChain(*s.cipher, start);
  const size_t bs = s.cipher->BlockSize();
  // A file that is not whole blocks fails to decrypt before anything is written.
  if (!encrypt && s.input->KnownSize() > 0 && s.input->KnownSize() % static_cast<int64_t>(bs) != 0) {
    throw XCryptoAlarm(alarm_text::kUnableToDecrypt);
  }
  Progress progress(args, encrypt ? "encrypt" : "decrypt", s.input->KnownSize());
  const size_t chunk = ChunkFor(*s.input);
  WipedBuffer in(chunk), out(chunk);
  OpenedData opened(*s.output, !encrypt && args.Has("strip-filler"), bs, s.cipher->filler);
  size_t held = 0;  // bytes at the start of `in` short of a whole block
  size_t got;
  while ((got = s.input->Read(in.data() + held, chunk - held)) > 0) {
    const size_t available = held + got;
    const size_t whole = available / bs * bs;
    if (encrypt) {
      s.output->Write(out.data(), s.cipher->EncryptBlocks(in.data(), out.data(), whole));
    } else {
      opened.Write(out.data(), s.cipher->DecryptBlocks(in.data(), out.data(), whole));
    }
    held = available - whole;
    std::copy(in.data() + whole, in.data() + available, in.data());
    progress.Advance(got);
  }
  // Encryption pads the rest; decryption of a rest fails with "Unable to decrypt data".
  if (encrypt) {
    s.output->Write(out.data(), s.cipher->EncryptFinal(in.data(), held, out.data()));
  } else {
    opened.Write(out.data(), s.cipher->DecryptBlocks(in.data(), out.data(), held));
    opened.Finish();
  }
  s.output->Commit();
  return 0;
}

// A buffer that grows as a record needs, wiped in full when it grows or goes
// (records may be plain data).
class RecordBuffer {
 public:
  RecordBuffer() = default;
  ~RecordBuffer() { orvo::SecureWipe(bytes_.get(), capacity_); }
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;

  // Room for n bytes; the first `keep` bytes are kept.
  uint8_t* Room(size_t n, size_t keep = 0) {
    if (n > capacity_) {
      const size_t capacity = std::max({n, 2 * capacity_, size_t{256}});
      std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
      if (keep != 0) std::memcpy(grown.get(), bytes_.get(), keep);
      orvo::SecureWipe(bytes_.get(), capacity_);
      bytes_ = std::move(grown);
      capacity_ = capacity;
    }
    return bytes_.get();
  }
  uint8_t* data() { return bytes_.get(); }
  char* chars() { return reinterpret_cast<char*>(bytes_.get()); }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_ = 0;
};

// The longest line a record may take: a sealed value of 12 MiB in Base64.
constexpr size_t kMaxRecordText = size_t{16} << 20;

// The input's lines, split at LF, read a chunk at a time. A last line
// without LF counts; an input that ends in LF has no empty line after it.
// CR and other white space stay in the line: the decoders skip them.
class LineReader {
 public:
  explicit LineReader(Input& input) : input_(input), chunk_(Chunk()) {}

  // The next line into `line` (its length in `size`), false at the end. A
  // line longer than kMaxRecordText is read to its end but not kept:
  // `tooLong` is set and `size` is 0.
  bool Next(RecordBuffer& line, size_t& size, bool& tooLong) {
    size = 0;
    tooLong = false;
    bool any = false;
    for (;;) {
      if (at_ == end_) {
        if (ended_) return any;
        end_ = input_.Read(chunk_.data(), chunk_.size());
        at_ = 0;
        consumed_ += end_;
        if (end_ == 0) {
          ended_ = true;
          return any;
        }
      }
      any = true;
      const uint8_t* from = chunk_.data() + at_;
      const auto* lf = static_cast<const uint8_t*>(std::memchr(from, '\n', end_ - at_));
      const size_t take = lf != nullptr ? static_cast<size_t>(lf - from) : end_ - at_;
      if (!tooLong && size + take > kMaxRecordText) {
        tooLong = true;
        size = 0;
      }
      if (!tooLong && take != 0) {
        std::memcpy(line.Room(size + take, size) + size, from, take);
        size += take;
      }
      at_ += take;
      if (lf != nullptr) {
        ++at_;
        return true;
      }
    }
  }
  uint64_t Consumed() const { return consumed_; }

 private:
  Input& input_;
  WipedBuffer chunk_;
  size_t at_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
  uint64_t consumed_ = 0;
};

// The formats of record mode: lines of hex or Base64 in, the same (or the
// other) out. Raw bytes have no lines to keep records apart.
void RecordFormats(const Arguments& args, Format& in, Format& out) {
  in = FormatOption(args, "input-format");
  if (in == Format::kRaw) throw UsageError("--records reads lines of hex or base64: give --input-format hex or base64");
  const bool outGiven = args.Has("output-format") || args.Has("hex") || args.Has("base64");
  out = outGiven ? FormatOption(args, "output-format") : in;
  if (out == Format::kRaw) {
    throw UsageError("--records writes lines of hex or base64 (raw bytes could hold a line break): give hex or base64");
  }
}

// A record that cannot be opened or sealed; the run goes on with the next.
struct BadRecord {
  std::string text;
};

// The bytes of one record's text, into `bytes` (room for n + 3).
size_t DecodeRecord(const char* text, size_t n, Format format, uint8_t* bytes) {
  try {
    if (format == Format::kHex) {
      HexDecoder hex;
      const size_t made = hex.Feed(text, n, bytes);
      hex.Finish();
      return made;
    }
    Base64Decoder base64;
    const size_t made = base64.Feed(text, n, bytes);
    return made + base64.Finish(bytes + made);
  } catch (const std::invalid_argument& e) {
    throw BadRecord{std::string("the record ") + e.what()};
  }
}

// The record's result as one line of text into `text` (resized as needed).
size_t EncodeRecord(const uint8_t* bytes, size_t n, Format format, RecordBuffer& text) {
  if (format == Format::kHex) {
    char* to = reinterpret_cast<char*>(text.Room(2 * n + 1));
    const size_t made = EncodeHex(bytes, n, to);
    to[made] = '\n';
    return made + 1;
  }
  char* to = reinterpret_cast<char*>(text.Room(Base64Encoder::Room(n) + 1));
  Base64Encoder base64;
  size_t made = base64.Feed(bytes, n, to);
  made += base64.Finish(to + made);
  to[made] = '\n';
  return made + 1;
}

int RunRecords(const Arguments& args, bool encrypt) {
  Format inFormat, outFormat;
  RecordFormats(args, inFormat, outFormat);
  const std::vector<uint8_t> start = StartOf(args, *NewCipher(args));
  const bool chained = args.Has("chain");
  const bool strip = !encrypt && args.Has("strip-filler");
  Sealing s = Prepare(args, encrypt);
  XBlockCipher& cipher = *s.cipher;
  StartChain(cipher, start);  // the key schedule stays; only the register goes back per record
  const size_t bs = cipher.BlockSize();
  const char* const command = encrypt ? "encrypt" : "decrypt";
  Progress progress(args, command, s.input->KnownSize());
  LineReader lines(*s.input);
  RecordBuffer line, in, out, text;
  size_t size = 0;
  bool tooLong = false;
  uint64_t number = 0, bad = 0, done = 0;
  while (lines.Next(line, size, tooLong)) {
    ++number;
    size_t written = 1;
    try {
      if (tooLong) throw BadRecord{"the record is longer than " + std::to_string(kMaxRecordText >> 20) + " MiB of text"};
      const size_t n = DecodeRecord(line.chars(), size, inFormat, in.Room(size + 3));
      if (!chained) std::memcpy(cipher.chain, start.data(), bs);
      size_t made;
      if (encrypt) {
        const size_t whole = n / bs * bs;
        uint8_t* to = out.Room(whole + bs);
        made = cipher.EncryptBlocks(in.data(), to, whole);
        made += cipher.EncryptFinal(in.data() + whole, n - whole, to + made);
      } else {
        made = cipher.DecryptBlocks(in.data(), out.Room(n + 1), n);  // "Unable to decrypt data" for a partial block
        if (strip) made = orvo::WithoutFiller(out.data(), made, bs, cipher.filler);
      }
      written = EncodeRecord(out.data(), made, outFormat, text);
    } catch (const BadRecord& e) {
      ++bad;
      std::fprintf(stderr, "orvocrypto %s: line %llu: %s\n", command, static_cast<unsigned long long>(number),
                   e.text.c_str());
      text.Room(1)[0] = '\n';
    } catch (const XAlarm& alarm) {
      // The core's own text, without the "Crypto System: " every alarm shares.
      ++bad;
      std::fprintf(stderr, "orvocrypto %s: line %llu: %s%s%s\n", command, static_cast<unsigned long long>(number),
                   alarm.message, alarm.object != nullptr ? " - " : "", alarm.object != nullptr ? alarm.object : "");
      text.Room(1)[0] = '\n';
    }
    s.output->Write(text.data(), written);
    progress.Advance(static_cast<size_t>(lines.Consumed() - done));
    done = lines.Consumed();
  }
  s.output->Commit();
  if (bad == 0) return 0;
  std::fprintf(stderr, "orvocrypto %s: %llu of %llu records failed; their lines are empty\n", command,
               static_cast<unsigned long long>(bad), static_cast<unsigned long long>(number));
  return 1;
}

}  // namespace

int RunKeygen(const Arguments& args) {
  args.AtMostPositional(1);
  std::unique_ptr<XBlockCipher> cipher = NewCipher(args);
  const uint32_t length = args.Number32("length");  // taken unsigned: -1 asks for the largest key
  const Format format = FormatOption(args, "output-format");
  cipher->GenerateKey(Seed(args), length);
  Output out(args.ValueOr("output", ""), format, true, platform::Privacy::kKey);
  out.Write(cipher->GetKey());
  out.Commit();
  return 0;
}

int RunEncrypt(const Arguments& args) { return RunSymmetric(args, true); }
int RunDecrypt(const Arguments& args) { return RunSymmetric(args, false); }

}  // namespace orvo::cli
