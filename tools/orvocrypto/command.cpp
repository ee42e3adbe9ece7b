#include "tools/orvocrypto/command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvo::cli {

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                     const std::vector<std::string>& flags) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // "-" (standard input) and negative numbers ("-5") are arguments, not options.
    const bool negativeNumber = arg.size() >= 2 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1])) != 0;
    if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-' || negativeNumber) {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg == "-o" ? "output" : arg.substr(arg[1] == '-' ? 2 : 1);
    std::string value;
    bool hasValue = false;
    const auto eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (Contains(valued, name)) {
      if (!hasValue) {
        if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs a value");
        value = args[++i];
      }
      options_.emplace_back(name, value);
    } else if (Contains(flags, name) && !hasValue) {
      options_.emplace_back(name, "");
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
}

bool Arguments::Has(const std::string& name) const {
  return std::any_of(options_.begin(), options_.end(), [&](const auto& o) { return o.first == name; });
}

std::string Arguments::Value(const std::string& name) const {
  for (auto it = options_.rbegin(); it != options_.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  throw UsageError("missing option --" + name);
}

std::string Arguments::ValueOr(const std::string& name, const std::string& fallback) const {
  return Has(name) ? Value(name) : fallback;
}

uint32_t Arguments::Number32(const std::string& name) const {
  const std::string text = Value(name);
  // Decimal, or hexadecimal after "0x"; a leading 0 does not mean octal.
  const bool negative = !text.empty() && text[0] == '-';
  const std::string digits = text.substr(negative ? 1 : 0);
  const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  errno = 0;
  char* end = nullptr;
  const long long magnitude = std::strtoll(digits.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  const long long v = negative ? -magnitude : magnitude;
  const char first = digits.c_str()[hex ? 2 : 0];
  const bool startsWithDigit = hex ? std::isxdigit(static_cast<unsigned char>(first)) != 0
                                   : std::isdigit(static_cast<unsigned char>(first)) != 0;
  if (!startsWithDigit || *end != '\0' || errno != 0 || v < INT32_MIN || v > UINT32_MAX) {
    throw UsageError("--" + name + " takes a 32-bit number, not '" + text + "'");
  }
  return static_cast<uint32_t>(v);
}

void Arguments::AtMostPositional(size_t n) const {
  if (positional_.size() > n) throw UsageError("unexpected argument '" + positional_[n] + "'");
}

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void RegisterCommand(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

XBlob ReadInput(const std::string& path) {
  const bool useStdin = path.empty() || path == "-";
  FILE* f = useStdin ? stdin : std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw ToolFailure("cannot open '" + path + "': " + std::strerror(errno));
  XBlob blob(4096);
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (uint64_t{blob.size} + got > 0xFFFFFFFFu) throw ToolFailure("input '" + path + "' is larger than 4 GiB");
    blob.Append(buffer, static_cast<uint32_t>(got));
  }
  const bool failed = std::ferror(f) != 0;
  if (!useStdin) std::fclose(f);
  if (failed) throw ToolFailure("cannot read '" + path + "'");
  return blob;
}

void WriteOutput(const std::string& path, const uint8_t* bytes, size_t n) {
  const bool useStdout = path.empty() || path == "-";
  FILE* f = useStdout ? stdout : std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw ToolFailure("cannot create '" + path + "': " + std::strerror(errno));
  const bool ok = std::fwrite(bytes, 1, n, f) == n;
  const bool closed = useStdout ? std::fflush(f) == 0 : std::fclose(f) == 0;
  if (!ok || !closed) throw ToolFailure("cannot write '" + (useStdout ? std::string("standard output") : path) + "'");
}

void WriteOutput(const std::string& path, const XBlob& blob) { WriteOutput(path, blob.data, blob.size); }

std::string HexOf(const XBlob& blob) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * size_t{blob.size});
  for (uint32_t i = 0; i < blob.size; ++i) {
    text += kDigits[blob.data[i] >> 4];
    text += kDigits[blob.data[i] & 15];
  }
  return text;
}

void WriteResult(const Arguments& args, const XBlob& blob) {
  const std::string out = args.ValueOr("output", "");
  if (args.Flag("hex")) {
    const std::string text = HexOf(blob) + "\n";
    WriteOutput(out, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  } else {
    WriteOutput(out, blob);
  }
}

}  // namespace orvo::cli
