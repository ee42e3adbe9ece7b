// The tool's command-line parsing: options with values (including negative
// numbers), flags, positional arguments and usage errors.
#include <gtest/gtest.h>

#include "tools/orvocrypto/command.h"

namespace {

using orvo::cli::Arguments;
using orvo::cli::UsageError;

Arguments Parse(const std::vector<std::string>& args) {
  return Arguments(args, {"length", "output"}, {"hex"});
}

TEST(ArgumentsTest, NumbersTakeNegativeValuesInBothForms) {
  const struct {
    std::vector<std::string> args;
    uint32_t value;
  } cases[] = {
      {{"--length=-1"}, 0xFFFFFFFFu},
      {{"--length", "-1"}, 0xFFFFFFFFu},
      {{"--length", "-2147483648"}, 0x80000000u},
      {{"--length=4294967295"}, 0xFFFFFFFFu},
      {{"--length=0"}, 0u},
      {{"--length=010"}, 10u},  // decimal, not octal
      {{"--length=0x1F"}, 31u},
      {{"--length=-0x10"}, 0xFFFFFFF0u},
      {{"--length=1", "--length=2"}, 2u},  // the last one counts
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.args).Number32("length"), c.value) << c.args.back();
}

TEST(ArgumentsTest, BadNumbersAreUsageErrors) {
  for (const char* text : {"", "abc", "12abc", "4294967296", "-2147483649", "0x", "1.5", " 7", "+5", "--1", "0x-5"}) {
    EXPECT_THROW(Parse({std::string("--length=") + text}).Number32("length"), UsageError) << '"' << text << '"';
  }
  EXPECT_THROW(Parse({}).Number32("length"), UsageError);
}

TEST(ArgumentsTest, OptionsFlagsAndPositionals) {
  const Arguments a = Parse({"file", "-o", "out", "--hex", "-", "--", "--hex"});
  EXPECT_EQ(a.Value("output"), "out");
  EXPECT_TRUE(a.Has("hex"));
  EXPECT_EQ(a.Positional(), (std::vector<std::string>{"file", "-", "--hex"}));
  EXPECT_THROW(a.AtMostPositional(2), UsageError);
  EXPECT_NO_THROW(a.AtMostPositional(3));
  EXPECT_EQ(Parse({"--output=x"}).Value("output"), "x");
  EXPECT_EQ(Parse({"-5"}).Positional(), std::vector<std::string>{"-5"});  // a negative number, not an option
  EXPECT_EQ(Parse({}).ValueOr("output", "-"), "-");
}

TEST(ArgumentsTest, UsageErrors) {
  EXPECT_THROW(Parse({"--bogus"}), UsageError);
  EXPECT_THROW(Parse({"-x"}), UsageError);
  EXPECT_THROW(Parse({"--length"}), UsageError);  // a value is missing
  EXPECT_THROW(Parse({"-o"}), UsageError);
  EXPECT_THROW(Parse({"--hex=1"}), UsageError);  // a flag takes no value
}

}  // namespace
