// Digest, checksum and random commands: md5, sha1, crc32, random.
#include <cstdio>
#include <string>

#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/random.h"
#include "digest/sha1.h"
#include "tools/orvocrypto/command.h"

namespace orvo::cli {
namespace {

void PrintLine(const Arguments& args, const std::string& line) {
  const std::string text = line + "\n";
  WriteOutput(args.ValueOr("output", ""), reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string InputPath(const Arguments& args) {
  args.AtMostPositional(1);
  return args.Positional().empty() ? "-" : args.Positional()[0];
}

int RunMd5(const Arguments& args, const std::vector<std::string>&) {
  PrintLine(args, HexOf(MD5Digest(ReadInput(InputPath(args)))));
  return 0;
}

int RunSha1(const Arguments& args, const std::vector<std::string>&) {
  PrintLine(args, HexOf(SHA1Digest(ReadInput(InputPath(args)))));
  return 0;
}

int RunCrc32(const Arguments& args, const std::vector<std::string>&) {
  uint32_t reg = 0xFFFFFFFFu;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(CRC32Update(reg, ReadInput(InputPath(args)))));
  PrintLine(args, text);
  return 0;
}

int RunRandom(const Arguments& args, const std::vector<std::string>&) {
  args.AtMostPositional(1);
  if (args.Positional().empty()) throw UsageError("missing COUNT");
  const std::string count = args.Positional()[0];
  char* end = nullptr;
  const unsigned long long n = std::strtoull(count.c_str(), &end, 10);
  if (count.empty() || *end != '\0' || count[0] == '-' || n > 0xFFFFFFFFull) {
    throw UsageError("COUNT must be a number of bytes, not '" + count + "'");
  }
  WriteResult(args, RandomBytes(static_cast<uint32_t>(n)));
  return 0;
}

const OrvoCommandRegistration kMd5({"md5", "md5 [FILE] [-o FILE]",
                                    "MD5 digest (RFC 1321) of FILE or standard input, in hexadecimal",
                                    RunMd5, {"output"}, {}});
const OrvoCommandRegistration kSha1({"sha1", "sha1 [FILE] [-o FILE]",
                                     "SHA-1 digest (FIPS 180-1) of FILE or standard input, in hexadecimal",
                                     RunSha1, {"output"}, {}});
const OrvoCommandRegistration kCrc32({"crc32", "crc32 [FILE] [-o FILE]",
                                      "CRC-32 of FILE or standard input, as 8 hexadecimal digits", RunCrc32,
                                      {"output"}, {}});
const OrvoCommandRegistration kRandom({"random", "random COUNT [--hex] [-o FILE]",
                                       "COUNT random bytes from the clock-seeded generator", RunRandom,
                                       {"output"}, {"hex"}});

}  // namespace
}  // namespace orvo::cli
