// Fuzz target: the orvocrypto tool's own commands (tools/orvocrypto/), run as
// the tool runs them: a command line parsed by Arguments, then the command,
// reading its input files and writing its results. fuzz_tool_inputs checks
// what the library makes of the files' bytes; this target adds the tool's
// parsing of numbers, options and positionals, its digest lists, its pass
// phrase sources and its file handling, -o through symbolic links included.
//
// Every path is a file of this target's scratch folder, which is also the
// working folder while a command runs (so the relative names of digest lists
// stay inside it; the fuzzer's own paths keep their meaning): input files
// hold pieces of the fuzz input, outputs go to the folder too.
// Nothing reads standard input (a command that reads its data from a
// positional always gets one) or writes outside the folder.
//
// Input: Byte command (index into the tool's commands, mod their count);
//   Byte valued-option mask (bit i: give the command's i-th valued option;
//     --output is always given),
//   each given option's value in order:
//     a number option (length, mode, filler, size, bits): Byte form, then U32 as
//       decimal, as negative decimal, as 0x-hex, "ecb", "cbc", or a Piece of
//       raw text;
//     an output (output; public and private of rsa-keygen): Byte form, then
//       a scratch path: the file itself, or a symbolic link to it (relative,
//       absolute, through a second link), a dangling link into a missing
//       folder, a loop of links, a link to the folder, or a link of another
//       user in a sticky folder (which the tool refuses; run as root, the
//       link is given to another user, else it is the fuzzer's own);
//     --iv: a Piece as hexadecimal text (its length mostly wrong, so that
//       the refusal is exercised too);
//     --passphrase-env: Byte (even: the variable is set to a Piece, up to
//       its first zero byte; odd: an unset variable's name);
//     a format (key-format, input-format, output-format, signature-format):
//       raw, hex, base64 or another word, by Byte;
//     any other option names an input file holding a Piece;
//   Byte flags mask (bit i: give the i-th flag, --hex, --check, ...);
//   Byte positional count (mod 4), each positional: Byte kind, then a cipher
//     name by index (aes, twofish, blowfish, an unknown one), a U32 as
//     decimal text, or an input file holding a Piece. With --check the input
//     files are digest lists: Byte lines (mod 5), each from a Byte form: a
//     Piece of raw text (every '/' made '_', so that names stay in the
//     folder), or a digest (the named file's true one, or a Piece's
//     hexadecimal), "  " or " *", and the name of an input file, a missing
//     one or an escaped one ("\" in front, a "\n" in the name).
//
// Checks: the command returns 0 or 1, or fails with a usage error, a tool
// failure or one of the documented alarms; nothing else escapes, and there is
// no crash, undefined behaviour or leak; a file named through a refused link
// is never written. rsa-keygen runs only for the 512-bit class, its primes
// mostly from table_primes.h's table, and random only for counts up to
// 64 KiB, to keep inputs fast; the RSA commands run on every key they load
// (Encrypt not for moduli that make it draw seeds thousands of times,
// rsa_work.h) and for at most eight blocks of data. The tool's chunks are
// 48 bytes here rather than 1 MiB: inputs of a few hundred bytes cross chunk
// boundaries (and the cipher commands' carried partial blocks), and no call
// fills and wipes megabytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/sha1.h"
#include "rsa/rsa_key.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/rsa_work.h"
#include "tests/fuzz/table_primes.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"

namespace {

namespace fs = std::filesystem;
using orvo::cli::Arguments;
using orvo::cli::Command;

// The scratch folder (in memory where the system has a memory file system):
// made once, removed when the process ends; the working folder while a
// command runs.
class Scratch {
 public:
  Scratch() {
    std::random_device entropy;
    folder_ = orvo::fuzz::ScratchRoot() / ("orvocrypto-fuzz-" + std::to_string(entropy()) + std::to_string(entropy()));
    fs::create_directories(folder_ / "sticky");
#if !defined(_WIN32)
    fs::permissions(folder_ / "sticky", fs::perms::all | fs::perms::sticky_bit);
#endif
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // A new input file holding `bytes`.
  std::string Input(const std::vector<uint8_t>& bytes) {
    const std::string path = Path("in" + std::to_string(next_++));
    Write(path, bytes);
    return path;
  }
  // The input files made so far for this fuzz input.
  int Inputs() const { return next_; }
  // The path an output option gets, by `form` (see the top of the file).
  // `refused` tells whether the tool must refuse it as another user's link.
  std::string Output(const char* name, uint8_t form, bool& refused) {
    refused = false;
    const std::string file = Path(std::string("out-") + name);
#if defined(_WIN32)
    (void)form;
    return file;
#else
    const std::string link = Path(std::string("link-") + name);
    const std::string second = Path(std::string("link2-") + name);
    const std::string sticky = Path(std::string("sticky/link-") + name);
    for (const std::string& old : {link, second, sticky}) unlink(old.c_str());
    switch (form % 8) {
      case 1:
        FUZZ_CHECK(symlink((std::string("out-") + name).c_str(), link.c_str()) == 0);
        return link;
      case 2:
        FUZZ_CHECK(symlink(file.c_str(), link.c_str()) == 0);
        return link;
      case 3:
        FUZZ_CHECK(symlink(file.c_str(), second.c_str()) == 0 && symlink(second.c_str(), link.c_str()) == 0);
        return link;
      case 4:
        FUZZ_CHECK(symlink("missing/out", link.c_str()) == 0);
        return link;
      case 5:
        FUZZ_CHECK(symlink(second.c_str(), link.c_str()) == 0 && symlink(link.c_str(), second.c_str()) == 0);
        return link;
      case 6:
        FUZZ_CHECK(symlink(".", link.c_str()) == 0);
        return link;
      case 7:
        FUZZ_CHECK(symlink((std::string("../out-") + name).c_str(), sticky.c_str()) == 0);
        // Root gives the link to another user: the tool must refuse it.
        refused = geteuid() == 0 && lchown(sticky.c_str(), 47101, 47101) == 0;
        return sticky;
      default:
        return file;
    }
#endif
  }
  void StartInput() { next_ = 0; }
  const fs::path& Folder() const { return folder_; }

 private:
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  static void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(file.good());
  }

  fs::path folder_;
  int next_ = 0;

 public:
  // A digest list for `command` (md5, sha1, crc32) in a new input file.
  std::string List(orvo::fuzz::Input& in, const std::string& command) {
    std::string text;
    const int lines = in.Byte() % 5;
    for (int i = 0; i < lines; ++i) {
      const uint8_t form = in.Byte();
      if (form % 4 == 0) {
        const std::vector<uint8_t> raw = in.Piece(80);
        for (const uint8_t c : raw) text += c == '/' ? '_' : static_cast<char>(c);
        text += '\n';
        continue;
      }
      std::string name = next_ == 0 || (form & 0x20) != 0 ? "missing" : "in" + std::to_string(in.Byte() % next_);
      const bool escaped = (form & 0x10) != 0;
      std::string digest;
      if ((form & 4) != 0) {
        digest = DigestOf(folder_, command, name);
      } else {
        static const char kHex[] = "0123456789abcdef";
        for (const uint8_t b : in.Piece(20)) digest += std::string{kHex[b >> 4], kHex[b & 15]};
      }
      if (escaped) name += "\\nx";
      text += (escaped ? "\\" : "") + digest + ((form & 8) != 0 ? " *" : "  ") + name + "\n";
    }
    const std::string path = Path("in" + std::to_string(next_++));
    Write(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
  }

 private:
  static std::string DigestOf(const fs::path& folder, const std::string& command, const std::string& name) {
    std::ifstream file(folder / name, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    char text[41] = {};
    if (command == "crc32") {
      uint32_t reg = 0xFFFFFFFFu;
      CRC32Update(reg, bytes.data(), bytes.size());
      std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(~reg));
      return text;
    }
    XBlob digest(16);
    if (command == "md5") {
      orvo::Md5Stream md5;
      md5.Update(bytes.data(), bytes.size());
      digest = md5.Finish();
    } else {
      orvo::Sha1Stream sha1;
      sha1.Update(bytes.data(), bytes.size());
      digest = sha1.Finish();
    }
    for (uint32_t i = 0; i < digest.size; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest.data[i]);
    return text;
  }
};

constexpr const char* kPhraseVariable = "ORVO_FUZZ_PASSPHRASE";

void SetVariable(const char* name, const std::string& value) {
#if defined(_WIN32)
  FUZZ_CHECK(_putenv_s(name, value.empty() ? " " : value.c_str()) == 0);
#else
  FUZZ_CHECK(setenv(name, value.c_str(), 1) == 0);
#endif
}

// A file's bytes ("" when there is none).
std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

bool IsFormatOption(const std::string& name) { return name.size() > 7 && name.compare(name.size() - 7, 7, "-format") == 0; }

bool IsNumberOption(const std::string& name) {
  return name == "length" || name == "mode" || name == "filler" || name == "size" || name == "bits";
}

std::string NumberText(orvo::fuzz::Input& in) {
  const uint8_t form = in.Byte();
  const uint32_t v = in.U32();
  char text[24];
  switch (form % 6) {
    case 0:
      std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(v));
      return text;
    case 1:
      std::snprintf(text, sizeof text, "-%lu", static_cast<unsigned long>(v));
      return text;
    case 2:
      std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(v));
      return text;
    case 3:
      return "ecb";
    case 4:
      return "cbc";
    default: {
      const std::vector<uint8_t> raw = in.Piece(24);
      return std::string(raw.begin(), raw.end());
    }
  }
}

// Commands that read standard input without a data positional, and the
// positionals that come before it.
size_t PositionalsBeforeData(const std::string& name) {
  if (name == "encrypt" || name == "decrypt") return 1;
  if (name == "md5" || name == "sha1" || name == "crc32" || name == "rsa-encrypt" || name == "rsa-decrypt" ||
      name == "rsa-sign" || name == "rsa-verify") {
    return 0;
  }
  return SIZE_MAX;  // reads no data from standard input
}

bool IsDocumentedAlarm(const XAlarm& alarm) {
  for (const char* message : {alarm_text::kInvalidKey, alarm_text::kUnableToDecrypt, alarm_text::kDataCorrupted}) {
    if (alarm.message != nullptr && std::strcmp(alarm.message, message) == 0) return true;
  }
  return false;
}

// Whether an RSA command's data runs past eight blocks, or its key (loaded
// as the tool loads it) would make Encrypt draw seeds thousands of times.
bool RsaTooSlow(const std::string& name, const Arguments& parsed) {
  const bool encrypt = name == "rsa-encrypt";
  const bool decrypt = name == "rsa-decrypt";
  const bool verify = name == "rsa-verify";
  if (!encrypt && !decrypt && !verify && name != "rsa-sign") return false;
  XRSAKey key;
  try {
    const bool publicHalf = encrypt || verify;
    const XBlob blob = orvo::cli::ReadWholeFile(parsed.Value(publicHalf ? "public" : "private"),
                                                orvo::cli::FormatOption(parsed, "key-format"));
    if (publicHalf) {
      key.SetPublicBlob(blob);
    } else {
      key.SetPrivateBlob(blob);
    }
  } catch (...) {
    return false;  // the command stops at the same point, before any arithmetic
  }
  if (encrypt && !orvo::fuzz::FewPaddingDraws(key)) return true;
  if ((encrypt || decrypt) && key.size > 42 && !parsed.Positional().empty()) {
    std::error_code error;
    const uintmax_t bytes = fs::file_size(parsed.Positional()[0], error);
    const uint32_t unit = encrypt ? key.size - 42 : key.size;
    return !error && bytes > 8 * uintmax_t{unit};
  }
  return false;
}

// Whether the command line asks for work too slow for a fuzz input.
bool TooSlow(const Command& command, const std::vector<std::string>& args) {
  try {
    const Arguments parsed(args, command.valued, command.flags);
    if (RsaTooSlow(command.name, parsed)) return true;
    if (std::strcmp(command.name, "rsa-keygen") == 0) {
      if (parsed.Has("size") && parsed.Number32("size") > 64) return true;
      if (parsed.Has("bits") && parsed.Number32("bits") > 512) return true;
    }
    if (std::strcmp(command.name, "random") == 0 && !parsed.Positional().empty()) {
      return parsed.Positional()[0].size() > 5 || std::strtoul(parsed.Positional()[0].c_str(), nullptr, 10) > 65536;
    }
  } catch (const orvo::cli::UsageError&) {
  }
  return false;
}

}  // namespace

// The fuzzer's own process (libFuzzer on Linux) sends rsa-verify's
// "valid"/"invalid" lines nowhere; the corpus replay prints them.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FUZZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  scratch.StartInput();
  orvo::cli::SetChunkForTesting(48);
  orvo::fuzz::UseTablePrimes();
  orvo::fuzz::Input in(data, size);
  const std::vector<Command>& commands = orvo::cli::Commands();
  FUZZ_CHECK(!commands.empty());
  const Command& command = commands[in.Byte() % commands.size()];
  const std::string name = command.name;

  std::vector<std::string> args;
  std::vector<std::string> refusedPaths;  // outputs through links the tool must refuse
  const uint8_t optionMask = in.Byte();
  for (size_t i = 0; i < command.valued.size() && i < 8; ++i) {
    const std::string& option = command.valued[i];
    // Results always go to a file: standard output stays quiet.
    if ((optionMask >> i & 1) == 0 && option != "output") continue;
    args.push_back("--" + option);
    if (IsNumberOption(option)) {
      args.push_back(NumberText(in));
    } else if (IsFormatOption(option)) {
      static const char* const kFormats[] = {"raw", "hex", "base64", "HEX", "text"};
      args.push_back(kFormats[in.Byte() % 5]);
    } else if (option == "output" || (name == "rsa-keygen" && (option == "public" || option == "private"))) {
      bool refused = false;
      args.push_back(scratch.Output(option.c_str(), in.Byte(), refused));
      if (refused) refusedPaths.push_back((scratch.Folder() / ("out-" + option)).string());
    } else if (option == "iv") {
      static const char kDigits[] = "0123456789abcdef";
      std::string text;
      for (const uint8_t b : in.Piece(20)) text += {kDigits[b >> 4], kDigits[b & 15]};
      args.push_back(text);
    } else if (option == "passphrase-env") {
      if (in.Byte() % 2 == 0) {
        const std::vector<uint8_t> phrase = in.Piece(256);
        std::string value(phrase.begin(), phrase.end());
        value.resize(std::strlen(value.c_str()));
        SetVariable(kPhraseVariable, value);
        args.push_back(kPhraseVariable);
      } else {
        args.push_back("ORVO_FUZZ_UNSET_VARIABLE");
      }
    } else {
      args.push_back(scratch.Input(in.Piece(4096)));
    }
  }
  const uint8_t flagMask = in.Byte();
  bool check = false;
  for (size_t i = 0; i < command.flags.size() && i < 8; ++i) {
    if ((flagMask >> i & 1) != 0) {
      args.push_back("--" + command.flags[i]);
      check = check || command.flags[i] == "check";
    }
  }
  static const char* const kCipherNames[] = {"aes", "twofish", "blowfish", "des"};
  size_t positionals = in.Byte() % 4;
  const size_t before = PositionalsBeforeData(name);
  if (before != SIZE_MAX && positionals <= before) positionals = before + 1;
  for (size_t i = 0; i < positionals; ++i) {
    const uint8_t kind = in.Byte();
    if (kind % 3 == 0) {
      args.push_back(kCipherNames[(kind / 3) % 4]);
    } else if (kind % 3 == 1) {
      args.push_back(std::to_string(in.U32()));
    } else if (check) {
      args.push_back(scratch.List(in, name));
    } else {
      args.push_back(scratch.Input(in.Piece(4096)));
    }
  }
  // A refused link's file: its bytes before the run, which must stay.
  std::vector<std::pair<std::string, std::string>> refusedBefore;
  for (const std::string& path : refusedPaths) refusedBefore.emplace_back(path, Contents(path));
  if (TooSlow(command, args)) return 0;

  const fs::path home = fs::current_path();
  fs::current_path(scratch.Folder());
  struct Return {
    const fs::path& to;
    ~Return() { fs::current_path(to); }
  } back{home};
  try {
    const Arguments parsed(args, command.valued, command.flags);
    const int status = command.run(parsed);
    FUZZ_CHECK(status == 0 || status == 1);
  } catch (const orvo::cli::UsageError&) {
  } catch (const orvo::cli::ToolFailure&) {
  } catch (const XAlarm& alarm) {
    FUZZ_CHECK(IsDocumentedAlarm(alarm));
  }
  for (const auto& [path, contents] : refusedBefore) FUZZ_CHECK(Contents(path) == contents);
  return 0;
}
