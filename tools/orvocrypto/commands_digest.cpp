// Digest, checksum and random commands: md5, sha1, crc32, random.
//
// One input prints the bare digest; several print "DIGEST  NAME" lines as
// md5sum and sha1sum do (--tag: BSD-style "MD5 (NAME) = DIGEST" lines), in
// hexadecimal or Base64, and --check reads both kinds of lines back.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
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

XBlob Md5Of(Input& input, Progress& progress) {
  Md5Stream md5;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { md5.Update(p, n); });
  return md5.Finish();
}

XBlob Sha1Of(Input& input, Progress& progress) {
  Sha1Stream sha1;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { sha1.Update(p, n); });
  return sha1.Finish();
}

// The CRC-32 as 4 bytes, most significant first (its hex form is the familiar one).
XBlob Crc32Of(Input& input, Progress& progress) {
  uint32_t reg = 0xFFFFFFFFu;
  Pump(input, progress, [&](const uint8_t* p, size_t n) { CRC32Update(reg, p, n); });
  XBlob value(4);
  value.InsertLong(~reg);
  return value;
}

struct Digest {
  const char* command;
  const char* tag;  // the algorithm's name in BSD-style lines ("MD5 (NAME) = DIGEST")
  size_t bytes;
  XBlob (*of)(Input&, Progress&);
};

const Digest kMd5{"md5", "MD5", 16, Md5Of};
const Digest kSha1{"sha1", "SHA1", 20, Sha1Of};
const Digest kCrc32{"crc32", "CRC32", 4, Crc32Of};

// The digest's text: lowercase hexadecimal (the default) or Base64.
std::string DigestText(const XBlob& digest, Format format) {
  if (format == Format::kBase64) {
    Base64Encoder encoder;
    std::string text(Base64Encoder::Room(digest.size), '\0');
    size_t n = encoder.Feed(digest.data, digest.size, text.data());
    n += encoder.Finish(text.data() + n);
    text.resize(n);
    return text;
  }
  std::string text(2 * size_t{digest.size}, '\0');
  EncodeHex(digest.data, digest.size, text.data());
  return text;
}

XBlob DigestOfFile(const Arguments& args, const Digest& digest, const std::string& path) {
  Input input(path, FormatOption(args, "input-format"));
  Progress progress(args, digest.command, input.KnownSize());
  return digest.of(input, progress);
}

void Warn(const Digest& digest, const std::string& text) {
  std::fprintf(stderr, "orvocrypto %s: %s\n", digest.command, text.c_str());
}

// md5sum's escaping of names that hold a newline or a backslash; `escaped`
// tells whether the name needed it (the line then starts with a backslash).
std::string Escape(const std::string& name, bool& escaped) {
  std::string text;
  for (const char c : name) text += c == '\n' ? std::string("\\n") : c == '\\' ? std::string("\\\\") : std::string(1, c);
  escaped = text != name;
  return text;
}

// A line of a digest list: "DIGEST  NAME" as md5sum writes it, or with --tag
// "MD5 (NAME) = DIGEST" as md5sum --tag does.
std::string Line(const Digest& digest, const std::string& text, const std::string& name, bool tag) {
  bool escaped = false;
  const std::string shown = Escape(name, escaped);
  const std::string mark = escaped ? "\\" : "";
  if (tag) return mark + digest.tag + " (" + shown + ") = " + text + "\n";
  return mark + text + "  " + shown + "\n";
}

// The digest a list gives as text: `bytes` bytes in hexadecimal (either case)
// or in Base64; false for anything else.
bool ParseDigestText(const std::string& text, size_t bytes, XBlob& out) {
  out.size = 0;
  if (text.size() == 2 * bytes) {
    for (size_t i = 0; i < text.size(); i += 2) {
      int pair = 0;
      for (size_t j = i; j < i + 2; ++j) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[j])));
        const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0) return false;
        pair = pair * 16 + v;
      }
      const uint8_t byte = static_cast<uint8_t>(pair);
      out.Append(&byte, 1);
    }
    return true;
  }
  if (text.size() != (bytes + 2) / 3 * 4) return false;
  // Base64: only the alphabet and the padding a digest of this length has.
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '+' && c != '/' && c != '=') return false;
  }
  try {
    Base64Decoder decoder;
    uint8_t decoded[64];
    size_t n = decoder.Feed(text.data(), text.size(), decoded);
    n += decoder.Finish(decoded + n);
    if (n != bytes) return false;
    out.Append(decoded, static_cast<uint32_t>(n));
  } catch (const std::invalid_argument&) {
    return false;
  }
  return true;
}

// The name part of a line, its escapes undone when the line was marked.
std::string Unescape(const std::string& text, bool escaped) {
  if (!escaped) return text;
  std::string name;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      ++i;
      name += text[i] == 'n' ? '\n' : text[i];
    } else {
      name += text[i];
    }
  }
  return name;
}

// One line of a digest list, as md5sum -c reads them: "DIGEST  NAME" or
// "DIGEST *NAME" (binary mark), or BSD-style "MD5 (NAME) = DIGEST" (the name
// runs to the last ')'); white space may lead, and a leading backslash marks
// an escaped name. The digest is hexadecimal or Base64.
bool ParseLine(std::string line, const Digest& digest, XBlob& expected, std::string& name) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  const bool escaped = i < line.size() && line[i] == '\\';
  if (escaped) ++i;
  const std::string tag = digest.tag;
  if (line.compare(i, tag.size(), tag) == 0 && line.compare(i + tag.size(), 2, " (") == 0) {
    const size_t open = i + tag.size() + 2;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close < open) return false;
    size_t at = close + 1;
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size() || line[at] != '=') return false;
    ++at;
    while (at < line.size() && line[at] == ' ') ++at;
    name = Unescape(line.substr(open, close - open), escaped);
    return ParseDigestText(line.substr(at), digest.bytes, expected);
  }
  const size_t space = line.find(' ', i);
  // The digest, a space, a space or the binary mark '*', then a name.
  if (space == std::string::npos || space + 2 >= line.size() || (line[space + 1] != ' ' && line[space + 1] != '*')) {
    return false;
  }
  name = Unescape(line.substr(space + 2), escaped);
  return ParseDigestText(line.substr(i, space - i), digest.bytes, expected);
}

size_t Plural(size_t n, const char* one, const char* many, std::string& text) {
  text = std::to_string(n) + " " + (n == 1 ? one : many);
  return n;
}

int RunCheck(const Arguments& args, const Digest& digest) {
  if (args.Has("tag")) throw UsageError("--tag and --check exclude each other");
  if (args.Has("output-format")) throw UsageError("--check reads hexadecimal and Base64 digests alike: no --output-format");
  std::vector<std::string> lists = args.Positional();
  if (lists.empty()) lists.push_back("-");
  Output out(args.ValueOr("output", ""), Format::kRaw, false);
  int status = 0;
  for (const std::string& list : lists) {
    size_t badLines = 0, unreadable = 0, mismatched = 0;
    const std::string listName = list == "-" ? std::string("standard input") : list;
    XBlob listBytes(16);
    try {
      listBytes = ReadWholeFile(list);
    } catch (const ToolFailure& e) {  // md5sum -c goes on with the next list
      Warn(digest, e.what());
      status = 1;
      continue;
    }
    const std::string all(reinterpret_cast<const char*>(listBytes.data), listBytes.size);
    size_t good = 0;
    size_t lineNumber = 0;
    for (size_t start = 0; start < all.size();) {
      size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      std::string line = all.substr(start, end - start);
      start = end + 1;
      ++lineNumber;
      if (!line.empty() && line[0] == '#') continue;  // a comment
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      XBlob expected(64);
      std::string name;
      if (!ParseLine(line, digest, expected, name)) {
        ++badLines;
        if (args.Has("warn")) {
          Warn(digest, listName + ": " + std::to_string(lineNumber) + ": improperly formatted " + digest.tag +
                           " checksum line");
        }
        continue;
      }
      ++good;
      // The name as md5sum -c prints it: escaped, after a backslash, when it holds a newline.
      bool escaped = false;
      const std::string shown = name.find('\n') == std::string::npos ? name : "\\" + Escape(name, escaped);
      XBlob actual(64);
      try {
        actual = DigestOfFile(args, digest, name);
      } catch (const ToolFailure& e) {
        Warn(digest, e.what());
        out.WriteText(shown + ": FAILED open or read\n");
        ++unreadable;
        continue;
      }
      const bool ok = actual.Equals(expected);
      if (!ok) ++mismatched;
      out.WriteText(shown + (ok ? ": OK\n" : ": FAILED\n"));
    }
    // As md5sum -c: the counts of each list once it is read, or that it held no line to check.
    if (good == 0) {
      Warn(digest, listName + ": no properly formatted checksum lines found");
      status = 1;
      continue;
    }
    std::string text;
    if (Plural(badLines, "line is improperly formatted", "lines are improperly formatted", text) != 0) {
      Warn(digest, "WARNING: " + text);
      if (args.Has("strict")) status = 1;
    }
    if (Plural(unreadable, "listed file could not be read", "listed files could not be read", text) != 0) {
      Warn(digest, "WARNING: " + text);
      status = 1;
    }
    if (Plural(mismatched, "computed checksum did NOT match", "computed checksums did NOT match", text) != 0) {
      Warn(digest, "WARNING: " + text);
      status = 1;
    }
  }
  out.Commit();
  return status;
}

// The format digests are written in: hex unless --output-format says base64
// or raw (the digest's bytes, for one input without --tag).
Format DigestFormat(const Arguments& args) {
  if (!args.Has("output-format")) return Format::kHex;
  return FormatOption(args, "output-format");
}

int RunDigest(const Arguments& args, const Digest& digest) {
  if (args.Has("check")) return RunCheck(args, digest);
  if (args.Has("warn") || args.Has("strict")) throw UsageError("--warn and --strict go with --check");
  const std::vector<std::string>& files = args.Positional();
  const Format format = DigestFormat(args);
  const bool tag = args.Has("tag");
  if (format == Format::kRaw) {
    if (files.size() > 1 || tag) throw UsageError("--output-format raw writes the bytes of one digest: one input, no --tag");
    Output out(args.ValueOr("output", ""), Format::kRaw, true);
    out.Write(DigestOfFile(args, digest, files.empty() ? "-" : files[0]));
    out.Commit();
    return 0;
  }
  Output out(args.ValueOr("output", ""), Format::kRaw, false);
  if (files.size() <= 1 && !tag) {
    out.WriteText(DigestText(DigestOfFile(args, digest, files.empty() ? "-" : files[0]), format) + "\n");
    out.Commit();
    return 0;
  }
  const std::vector<std::string> names = files.empty() ? std::vector<std::string>{"-"} : files;
  int status = 0;
  for (const std::string& file : names) {
    try {
      out.WriteText(Line(digest, DigestText(DigestOfFile(args, digest, file), format), file, tag));
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
