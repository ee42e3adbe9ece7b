// orvocrypto: command dispatch, help, and the exit-status rules
// (0 success, 1 failure with the system's text on stderr, 2 usage error).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "base/alarm.h"
#include "tools/orvocrypto/command.h"
#include "tools/orvocrypto/stdio_mode.h"

namespace {

using orvo::cli::Command;

void PrintUsage(FILE* to) {
  std::fprintf(to, "usage: orvocrypto COMMAND [OPTIONS] [ARGS]\n\ncommands:\n");
  for (const Command& c : orvo::cli::Commands()) std::fprintf(to, "  %-16s %s\n", c.name, c.summary);
  std::fprintf(to, "\n'orvocrypto COMMAND --help' shows a command's options.\n");
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
    if (a == "--") break;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  orvo::cli::SetBinaryStdio();
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  const Command* command = nullptr;
  for (const Command& c : orvo::cli::Commands()) {
    if (name == c.name) command = &c;
  }
  if (command == nullptr) {
    std::fprintf(stderr, "orvocrypto: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return 2;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (WantsHelp(args)) {
    std::printf("usage: orvocrypto %s\n%s\n", command->usage, command->summary);
    return 0;
  }
  try {
    const orvo::cli::Arguments parsed(args, command->valued, command->flags);
    return command->run(parsed, args);
  } catch (const orvo::cli::UsageError& e) {
    std::fprintf(stderr, "orvocrypto %s: %s\nusage: orvocrypto %s\n", command->name, e.what(), command->usage);
    return 2;
  } catch (const XAlarm& alarm) {
    char text[256];
    alarm.GetText(text, 255);
    std::fprintf(stderr, "%s\n", text);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvocrypto %s: %s\n", command->name, e.what());
    return 1;
  }
}
