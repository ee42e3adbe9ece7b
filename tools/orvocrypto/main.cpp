// orvocrypto: the table of commands, dispatch, help, and the exit-status
// rules: 0 success, 1 failure (rsa-verify: an invalid signature), 2 usage
// error (rsa-verify: also any failure). Every error message starts with
// "orvocrypto COMMAND:".
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "crypto/aes.h"
#include "crypto/byte_fields.h"
#include "digest/crc32.h"
#include "digest/sha1.h"
#include "rsa/montgomery_kernels.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/io.h"
#include "tools/orvocrypto/platform.h"

#ifndef ORVO_VERSION
#define ORVO_VERSION "unknown"
#endif

namespace orvo::cli {

namespace {

// Options shared by command groups.
#define ORVO_DATA_FLAGS "progress", "quiet"
#define ORVO_OUTPUT_FORMAT "output-format"
#define ORVO_OUTPUT_FLAGS "hex", "base64"
#define ORVO_DIGEST_FLAGS "tag", "warn", "strict"
#define ORVO_CHECK_DETAILS                                                                                        \
  "  -c, --check reads such lines of either kind (also md5sum's and sha1sum's, digests in hexadecimal or\n"       \
  "  Base64) from the FILEs and prints NAME: OK or NAME: FAILED; the exit status is 1 when any failed.\n"      \
  "  -w, --warn names each improperly formatted line; --strict makes such lines fail the check (exit 1).\n"  \
  "  --input-format FORMAT: how the data is written (with -c: the files the lines name). --output-format\n"     \
  "  hex (the default), base64, or raw for the digest's bytes of one input.\n"
#define ORVO_FORMAT_DETAILS \
  "  --key-format, --input-format, --output-format FORMAT: how the key file, the data and the result are\n  written.\n"

// The options of both cipher commands for IVs and records.
#define ORVO_RECORD_DETAILS                                                                                    \
  "  --iv HEX: the CBC chaining register to start from, one block in hex (default: zeros).\n"                \
  "  --records: each line of the input (--input-format hex or base64) is one record, sealed or opened from\n" \
  "  the start register, as a new object would; one line per record out (default: the input's format).\n"    \
  "  A bad record is reported with its line number and leaves an empty line; the exit status is then 1.\n"    \
  "  An empty line is an empty record. --chain carries the chaining register from record to record.\n"
#define ORVO_RECORD_OPTIONS "iv"
#define ORVO_RECORD_FLAGS "records", "chain"

const char kFormats[] = "  FORMAT is raw, hex or base64; raw where no other default is named.\n";
const char kFormatFlags[] = "  --hex and --base64 stand for --output-format hex and --output-format base64.\n";
const char kProgress[] =
    "  --progress shows a progress line on standard error even when it is not a terminal; --quiet never.\n";

const std::vector<Command> kCommands = {
    {"md5", "md5 [FILE]... [--tag] [-c [-w] [--strict]] [-o FILE]", "MD5 digest (RFC 1321) of each FILE or standard input",
     "  One input prints the bare digest; several print \"DIGEST  NAME\" lines, as md5sum does; --tag prints\n"
     "  \"MD5 (NAME) = DIGEST\" lines, as md5sum --tag does.\n"
     ORVO_CHECK_DETAILS,
     RunMd5, {"output", "input-format", ORVO_OUTPUT_FORMAT}, {"check", ORVO_DATA_FLAGS, ORVO_DIGEST_FLAGS}, 1},
    {"sha1", "sha1 [FILE]... [--tag] [-c [-w] [--strict]] [-o FILE]",
     "SHA-1 digest (FIPS 180-1) of each FILE or standard input",
     "  One input prints the bare digest; several print \"DIGEST  NAME\" lines, as sha1sum does; --tag prints\n"
     "  \"SHA1 (NAME) = DIGEST\" lines, as sha1sum --tag does.\n"
     ORVO_CHECK_DETAILS,
     RunSha1, {"output", "input-format", ORVO_OUTPUT_FORMAT}, {"check", ORVO_DATA_FLAGS, ORVO_DIGEST_FLAGS}, 1},
    {"crc32", "crc32 [FILE]... [--tag] [-c [-w] [--strict]] [-o FILE]",
     "CRC-32 of each FILE or standard input, as 8 hexadecimal digits",
     "  One input prints the bare value; several print \"VALUE  NAME\" lines; --tag prints \"CRC32 (NAME) = VALUE\"\n"
     "  lines.\n"
     ORVO_CHECK_DETAILS,
     RunCrc32, {"output", "input-format", ORVO_OUTPUT_FORMAT}, {"check", ORVO_DATA_FLAGS, ORVO_DIGEST_FLAGS}, 1},
    {"random", "random COUNT [--output-format FORMAT] [-o FILE]", "COUNT random bytes from the clock-seeded generator",
     "  A file written with -o is readable by its owner only.\n", RunRandom, {"output", ORVO_OUTPUT_FORMAT},
     {ORVO_OUTPUT_FLAGS}, 1},
    {"keygen",
     "keygen aes|twofish|blowfish (--seed FILE | --passphrase-file FILE | --passphrase-env NAME) --length N "
     "[--allow-empty-seed] [--output-format FORMAT] [-o FILE]",
     "the key blob generated from a seed or pass phrase for a key of N bytes",
     "  The key is the start of MD5(seed) || SHA-1(seed) || ... (each pass over the seed and what came\n"
     "  before): no salt and no work factor, so a key is exactly as hard to guess as its seed. Use random\n"
     "  seeds (orvocrypto random 32 -o seed) or long pass phrases.\n"
     "  --seed takes a file's bytes exactly as they are (\"-\" reads standard input).\n"
     "  --passphrase-file and --passphrase-env drop one trailing newline (\\n or \\r\\n) from the phrase.\n"
     "  An empty seed or pass phrase is refused (exit 2): it gives a well-known key. --allow-empty-seed makes\n"
     "  that key anyway (to regenerate an existing one).\n"
     "  The key file written with -o is readable by its owner only.\n",
     RunKeygen, {"seed", "passphrase-file", "passphrase-env", "length", "output", ORVO_OUTPUT_FORMAT},
     {ORVO_OUTPUT_FLAGS, "allow-empty-seed"}, 1},
    {"encrypt",
     "encrypt aes|twofish|blowfish --key KEYFILE [--mode ecb|cbc] [--filler N] [--iv HEX] [--records [--chain]] [FILE] "
     "[-o FILE]",
     "seal FILE or standard input: pad with the filler byte, encipher in ECB or CBC (zero IV)",
     "  --mode ecb (the default) or cbc, in any case (also 1 or 2); --filler N is the padding byte, 0 to 255.\n"
     ORVO_FORMAT_DETAILS ORVO_RECORD_DETAILS,
     RunEncrypt, {"key", "mode", "filler", "output", "key-format", "input-format", ORVO_OUTPUT_FORMAT, ORVO_RECORD_OPTIONS},
     {ORVO_OUTPUT_FLAGS, ORVO_DATA_FLAGS, ORVO_RECORD_FLAGS}, 1},
    {"decrypt",
     "decrypt aes|twofish|blowfish --key KEYFILE [--mode ecb|cbc] [--filler N] [--iv HEX] [--records [--chain]] "
     "[--strip-filler] [FILE] [-o FILE]",
     "open sealed data from FILE or standard input; the padding stays in place",
     "  --mode ecb (the default) or cbc, in any case (also 1 or 2).\n"
     "  A new file written with -o is readable by its owner only (it holds plaintext).\n"
     ORVO_FORMAT_DETAILS ORVO_RECORD_DETAILS
     "  --strip-filler drops the trailing bytes equal to the filler (--filler N, default 0), at most a block\n"
     "  less one: the padding, and also any such bytes that ended the plain data itself.\n",
     RunDecrypt, {"key", "mode", "filler", "output", "key-format", "input-format", ORVO_OUTPUT_FORMAT, ORVO_RECORD_OPTIONS},
     {ORVO_OUTPUT_FLAGS, ORVO_DATA_FLAGS, ORVO_RECORD_FLAGS, "strip-filler"}, 1},
    {"rsa-keygen",
     "rsa-keygen --seed1 FILE --seed2 FILE (--size 64|128|256 | --bits 512|1024|2048) --public FILE --private FILE "
     "[--allow-equal-seeds] [--allow-empty-seed]",
     "RSA key pair from two seed files (size in bytes of modulus: 64, 128 or 256)",
     "  --size N is the modulus size in bytes (64, 128 or 256), --bits the same in bits (512, 1024 or 2048).\n"
     "  --key-format FORMAT: how the key files are written. The private key file is readable by its owner only.\n"
     "  Two seed files with the same bytes are refused (exit 2): equal seeds give two consecutive primes, and\n"
     "  such a modulus is factored at once. --allow-equal-seeds makes that key anyway (to regenerate an\n"
     "  existing one). An empty seed file is refused too (it gives a well-known prime); --allow-empty-seed\n"
     "  makes that key anyway.\n",
     RunRsaKeygen, {"seed1", "seed2", "size", "public", "private", "key-format", "bits"},
     {"allow-equal-seeds", "allow-empty-seed"}, 1},
    {"rsa-encrypt", "rsa-encrypt --public FILE [--iv FILE] [DATA] [-o FILE]",
     "RSA-encrypt DATA (or standard input) with a public key blob",
     ORVO_FORMAT_DETAILS,
     RunRsaEncrypt, {"public", "iv", "output", "key-format", "input-format", ORVO_OUTPUT_FORMAT},
     {ORVO_OUTPUT_FLAGS, ORVO_DATA_FLAGS}, 1},
    {"rsa-decrypt", "rsa-decrypt --private FILE [--iv FILE] [DATA] [-o FILE]",
     "RSA-decrypt DATA (or standard input) with a private key blob",
     "  A new file written with -o is readable by its owner only (it holds plaintext).\n"
     ORVO_FORMAT_DETAILS,
     RunRsaDecrypt, {"private", "iv", "output", "key-format", "input-format", ORVO_OUTPUT_FORMAT},
     {ORVO_OUTPUT_FLAGS, ORVO_DATA_FLAGS}, 1},
    {"rsa-sign", "rsa-sign --private FILE [DATA] [-o FILE]",
     "RSA signature of the SHA-1 digest of DATA (or standard input)",
     "  --key-format, --input-format, --output-format FORMAT: how the key file, the data and the signature\n"
     "  are written.\n",
     RunRsaSign, {"private", "output", "key-format", "input-format", ORVO_OUTPUT_FORMAT},
     {ORVO_OUTPUT_FLAGS, ORVO_DATA_FLAGS}, 1},
    {"rsa-verify", "rsa-verify --public FILE --signature FILE [DATA]",
     "check an RSA signature: valid (exit 0), invalid (exit 1), or an error (exit 2)",
     "  --key-format, --signature-format, --input-format FORMAT: how the key file, the signature and the\n"
     "  data are written.\n",
     RunRsaVerify, {"public", "signature", "key-format", "signature-format", "input-format"}, {ORVO_DATA_FLAGS}, 2},
};

#undef ORVO_DATA_FLAGS
#undef ORVO_OUTPUT_FORMAT
#undef ORVO_OUTPUT_FLAGS
#undef ORVO_FORMAT_DETAILS
#undef ORVO_RECORD_DETAILS
#undef ORVO_RECORD_OPTIONS
#undef ORVO_RECORD_FLAGS
#undef ORVO_DIGEST_FLAGS
#undef ORVO_CHECK_DETAILS

void PrintUsage(FILE* to) {
  std::fprintf(to, "usage: orvocrypto COMMAND [OPTIONS] [ARGS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(to, "  %-12s %s\n", c.name, c.summary);
  std::fprintf(to,
               "\nNo FILE, or -, reads standard input; -o FILE replaces FILE only once the output is complete.\n"
               "'orvocrypto COMMAND --help' shows a command's options; 'orvocrypto --version' the version and the\n"
               "processor paths in use (ORVOCRYPTO_HIDE_CPU_FEATURES=aes,avx512f,... hides features from them).\n");
}

void PrintCommandHelp(const Command& c) {
  std::printf("usage: orvocrypto %s\n%s\n%s", c.usage, c.summary, c.details);
  const auto has = [&](const char* name) {
    for (const std::string& v : c.valued) {
      if (v == name) return true;
    }
    for (const std::string& f : c.flags) {
      if (f == name) return true;
    }
    return false;
  };
  if (has("output-format") || has("key-format") || has("input-format")) std::printf("%s", kFormats);
  if (has("hex")) std::printf("%s", kFormatFlags);
  if (has("progress")) std::printf("%s", kProgress);
}

// The version, then the path each algorithm takes on this processor, less the
// features ORVOCRYPTO_HIDE_CPU_FEATURES hides. RSA names the path of 1024-
// and 2048-bit keys (and 512-bit keys' public operations); the 256-bit primes
// of a 512-bit key may take another.
void PrintVersion() {
  std::printf("orvocrypto %s\n", ORVO_VERSION);
  std::printf("AES: %s\n", aes::EngineName(aes::EngineInUse()));
  const MontPath rsa = MontPathFor(1024);
  const MontPath rsaHalves = MontPathFor(256);
  if (rsaHalves == rsa) {
    std::printf("RSA: %s\n", MontPathName(rsa));
  } else {
    std::printf("RSA: %s (the primes of 512-bit keys: %s)\n", MontPathName(rsa), MontPathName(rsaHalves));
  }
  std::printf("SHA-1: %s\n", Sha1PathInUse());
  std::printf("CRC-32: %s\n", Crc32PathInUse());
  std::printf("Twofish, Blowfish: %s\n", ByteFieldsInUse());
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
    if (a == "--") break;
  }
  return false;
}

int RunCommand(const Command& command, const std::vector<std::string>& args) {
  try {
    const Arguments parsed(args, command.valued, command.flags);
    return command.run(parsed);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "orvocrypto %s: %s\nusage: orvocrypto %s\n", command.name, e.what(), command.usage);
    return 2;
  } catch (const XAlarm& alarm) {
    char text[256];
    alarm.GetText(text, 255);
    std::fprintf(stderr, "orvocrypto %s: %s\n", command.name, text);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "orvocrypto %s: out of memory\n", command.name);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvocrypto %s: %s\n", command.name, e.what());
  }
  return command.failureStatus;
}

}  // namespace

const std::vector<Command>& Commands() { return kCommands; }

int Main(int argc, char** argv) {
  platform::SetBinaryStdio();
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (name == "--version") {
    PrintVersion();
    return 0;
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (name == c.name) command = &c;
  }
  if (command == nullptr) {
    std::fprintf(stderr, "orvocrypto: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return 2;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (WantsHelp(args)) {
    PrintCommandHelp(*command);
    return 0;
  }
  InstallSignalCleanup();
  return RunCommand(*command, args);
}

}  // namespace orvo::cli

#ifndef ORVO_CLI_NO_MAIN
int main(int argc, char** argv) { return orvo::cli::Main(argc, argv); }
#endif
