// The orvocrypto command-line tool: the system's formats outside Windows.
//
// The commands are listed in one table in main.cpp; each command group's run
// functions live in commands_<group>.cpp and are declared here.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

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
  // `flags` names those that take none. "-o" is an alias of "--output",
  // "-c" of "--check", "-q" of "--quiet", "-w" of "--warn".
  Arguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags);

  bool Has(const std::string& name) const;
  std::string Value(const std::string& name) const;  // UsageError when missing
  std::string ValueOr(const std::string& name, const std::string& fallback) const;
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
  const char* usage;    // "md5 [FILE]..."
  const char* summary;  // one line for the tool's --help
  const char* details;  // the rest of the command's --help (options), may be empty
  int (*run)(const Arguments& args);
  std::vector<std::string> valued;
  std::vector<std::string> flags;
  // The exit status of a failure: 1, or 2 where 1 means a negative answer (rsa-verify).
  int failureStatus;
};

// The table of main.cpp.
const std::vector<Command>& Commands();

// The run functions of the command groups.
int RunMd5(const Arguments& args);
int RunSha1(const Arguments& args);
int RunCrc32(const Arguments& args);
int RunRandom(const Arguments& args);
int RunKeygen(const Arguments& args);
int RunEncrypt(const Arguments& args);
int RunDecrypt(const Arguments& args);
int RunRsaKeygen(const Arguments& args);
int RunRsaEncrypt(const Arguments& args);
int RunRsaDecrypt(const Arguments& args);
int RunRsaSign(const Arguments& args);
int RunRsaVerify(const Arguments& args);

}  // namespace orvo::cli
