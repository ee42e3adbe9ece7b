// Digest, checksum and random commands: md5, sha1, crc32, random.
//
// One input prints the bare digest; several print "DIGEST  NAME" lines as
// md5sum and sha1sum do, and --check reads such lines back.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/random.h"
#include "digest/sha1.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"

namespace orvo::cli {
namespace {

std::string HexText(const XBlob& blob) {
  std::string text(2 * size_t{blob.size}, '\0');
  EncodeHex(blob.data, blob.size, text.data());
  return text;
}

std::string Md5Of(Input& input, Progress& progress) {
  Md5Stream md5;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { md5.Update(p, n); });
  return HexText(md5.Finish());
}

std::string Sha1Of(Input& input, Progress& progress) {
  Sha1Stream sha1;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { sha1.Update(p, n); });
  return HexText(sha1.Finish());
}

std::string Crc32Of(Input& input, Progress& progress) {
  uint32_t reg = 0xFFFFFFFFu;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { CRC32Update(reg, p, n); });
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(~reg));
  return text;
}

struct Digest {
  const char* command;
  size_t hexDigits;
  std::string (*of)(Input&, Progress&);
};

const Digest kMd5{"md5", 32, Md5Of};
const Digest kSha1{"sha1", 40, Sha1Of};
const Digest kCrc32{"crc32", 8, Crc32Of};

std::string DigestOfFile(const Arguments& args, const Digest& digest, const std::string& path) {
  Input input(path);
  Progress progress(args, digest.command, input.KnownSize());
  return digest.of(input, progress);
}

void Warn(const Digest& digest, const std::string& text) {
  std::fprintf(stderr, "orvocrypto %s: %s\n", digest.command, text.c_str());
}

// md5sum's form for names holding a newline or a backslash: the line starts
// with a backslash and those characters are escaped.
std::string Line(const std::string& hex, const std::string& name) {
  std::string escaped;
  for (const char c : name) escaped += c == '\n' ? std::string("\\n") : c == '\\' ? std::string("\\\\") : std::string(1, c);
  return (escaped != name ? "\\" : "") + hex + "  " + escaped + "\n";
}

// One line of a digest list: "DIGEST  NAME" or "DIGEST *NAME" (binary mark),
// optionally after a backslash that marks an escaped name.
bool ParseLine(std::string line, size_t hexDigits, std::string& hex, std::string& name) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const bool escaped = !line.empty() && line[0] == '\\';
  if (escaped) line.erase(0, 1);
  if (line.size() < hexDigits + 3 || line[hexDigits] != ' ' || (line[hexDigits + 1] != ' ' && line[hexDigits + 1] != '*')) {
    return false;
  }
  hex = line.substr(0, hexDigits);
  for (char& c : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  name.clear();
  for (size_t i = hexDigits + 2; i < line.size(); ++i) {
    if (escaped && line[i] == '\\' && i + 1 < line.size()) {
      ++i;
      name += line[i] == 'n' ? '\n' : line[i];
    } else {
      name += line[i];
    }
  }
  return true;
}

size_t Plural(size_t n, const char* one, const char* many, std::string& text) {
  text = std::to_string(n) + " " + (n == 1 ? one : many);
  return n;
}

int RunCheck(const Arguments& args, const Digest& digest) {
  std::vector<std::string> lists = args.Positional();
  if (lists.empty()) lists.push_back("-");
  Output out(args.ValueOr("output", ""), Format::kRaw, false);
  size_t badLines = 0, unreadable = 0, mismatched = 0;
  int status = 0;
  for (const std::string& list : lists) {
    const XBlob text = ReadWholeFile(list);
    const std::string all(reinterpret_cast<const char*>(text.data), text.size);
    size_t good = 0;
    for (size_t start = 0; start < all.size();) {
      size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      const std::string line = all.substr(start, end - start);
      start = end + 1;
      std::string hex, name;
      if (!ParseLine(line, digest.hexDigits, hex, name)) {
        if (!line.empty() && line != "\r") ++badLines;
        continue;
      }
      ++good;
      std::string actual;
      try {
        actual = DigestOfFile(args, digest, name);
      } catch (const ToolFailure& e) {
        Warn(digest, e.what());
        out.WriteText(name + ": FAILED open or read\n");
        ++unreadable;
        continue;
      }
      const bool ok = actual == hex;
      if (!ok) ++mismatched;
      out.WriteText(name + (ok ? ": OK\n" : ": FAILED\n"));
    }
    if (good == 0) {
      Warn(digest, (list == "-" ? std::string("standard input") : "'" + list + "'") +
                       ": no properly formatted " + digest.command + " checksum lines found");
      status = 1;
    }
  }
  out.Commit();
  std::string text;
  if (Plural(badLines, "line is improperly formatted", "lines are improperly formatted", text) != 0) {
    Warn(digest, "WARNING: " + text);
  }
  if (Plural(unreadable, "listed file could not be read", "listed files could not be read", text) != 0) {
    Warn(digest, "WARNING: " + text);
  }
  if (Plural(mismatched, "computed checksum did NOT match", "computed checksums did NOT match", text) != 0) {
    Warn(digest, "WARNING: " + text);
  }
  return unreadable + mismatched != 0 ? 1 : status;
}

int RunDigest(const Arguments& args, const Digest& digest) {
  if (args.Has("check")) return RunCheck(args, digest);
  const std::vector<std::string>& files = args.Positional();
  Output out(args.ValueOr("output", ""), Format::kRaw, false);
  if (files.size() <= 1) {
    out.WriteText(DigestOfFile(args, digest, files.empty() ? "-" : files[0]) + "\n");
    out.Commit();
    return 0;
  }
  int status = 0;
  for (const std::string& file : files) {
    try {
      out.WriteText(Line(DigestOfFile(args, digest, file), file));
    } catch (const ToolFailure& e) {
      Warn(digest, e.what());
      status = 1;
    }
  }
  out.Commit();
  return status;
}

}  // namespace

int RunMd5(const Arguments& args) { return RunDigest(args, kMd5); }
int RunSha1(const Arguments& args) { return RunDigest(args, kSha1); }
int RunCrc32(const Arguments& args) { return RunDigest(args, kCrc32); }

int RunRandom(const Arguments& args) {
  args.AtMostPositional(1);
  if (args.Positional().empty()) throw UsageError("missing COUNT");
  const std::string count = args.Positional()[0];
  char* end = nullptr;
  const unsigned long long n = std::strtoull(count.c_str(), &end, 10);
  if (count.empty() || *end != '\0' || count[0] == '-' || n > 0xFFFFFFFFull) {
    throw UsageError("COUNT must be a number of bytes, not '" + count + "'");
  }
  // Random bytes are usually key material: a file of them is its owner's only.
  Output out(args.ValueOr("output", ""), FormatOption(args, "output-format"), true, platform::Privacy::kKey);
  for (unsigned long long done = 0; done < n;) {
    const uint32_t piece = static_cast<uint32_t>(n - done < 65536 ? n - done : 65536);
    out.Write(RandomBytes(piece));
    done += piece;
  }
  out.Commit();
  return 0;
}

}  // namespace orvo::cli
