#include "tools/orvocrypto/command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
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
    std::string name = arg == "-o"   ? "output"
                       : arg == "-c" ? "check"
                       : arg == "-q" ? "quiet"
                       : arg == "-w" ? "warn"
                                     : arg.substr(arg[1] == '-' ? 2 : 1);
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

}  // namespace orvo::cli
