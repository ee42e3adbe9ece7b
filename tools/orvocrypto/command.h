// The orvocrypto command-line tool: the system's formats outside Windows.
//
// Each command group lives in its own commands_<group>.cpp and registers its
// commands with a static OrvoCommandRegistration, so adding a group touches no
// other file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/xblob.h"

namespace orvo::cli {

// A usage error: the tool prints the message and the command's usage line and exits 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A failure the tool reports as text on stderr and exit status 1.
struct ToolFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The parsed command line of one command: options by name (without the
// dashes) and the remaining positional arguments, in order.
class Arguments {
 public:
  // `valued` names the options that take a value ("--name VALUE" or
  // "--name=VALUE"; a value may start with '-', as in "--length -1");
  // `flags` names those that take none. "-o" is an alias of "--output".
  Arguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags);

  bool Has(const std::string& name) const;
  std::string Value(const std::string& name) const;  // UsageError when missing
  std::string ValueOr(const std::string& name, const std::string& fallback) const;
  bool Flag(const std::string& name) const { return Has(name); }
  // A 32-bit number, decimal or 0x-hexadecimal; negative values wrap as unsigned.
  uint32_t Number32(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }
  // At most `n` positional arguments, else UsageError.
  void AtMostPositional(size_t n) const;

 private:
  std::vector<std::pair<std::string, std::string>> options_;
  std::vector<std::string> positional_;
};

struct Command {
  const char* name;
  const char* usage;    // "md5 [FILE]"
  const char* summary;  // one line for --help
  int (*run)(const Arguments& args, const std::vector<std::string>& raw);
  std::vector<std::string> valued;
  std::vector<std::string> flags;
};

void RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

struct OrvoCommandRegistration {
  explicit OrvoCommandRegistration(const Command& command) { RegisterCommand(command); }
};

// Input and output. "-" or an empty path means standard input / output.
XBlob ReadInput(const std::string& path);
void WriteOutput(const std::string& path, const uint8_t* bytes, size_t n);
void WriteOutput(const std::string& path, const XBlob& blob);
std::string HexOf(const XBlob& blob);  // lowercase
// Writes a result: raw bytes, or lowercase hex and a newline with --hex.
void WriteResult(const Arguments& args, const XBlob& blob);

}  // namespace orvo::cli
