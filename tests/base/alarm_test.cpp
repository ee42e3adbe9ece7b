// XAlarm / XCryptoAlarm: construction, copies, and the composition of the text
// into a caller buffer of n + 1 bytes.
#include "base/alarm.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// GetText into a buffer of n + 1 bytes followed by guard bytes that must stay.
std::string TextOf(const XAlarm& alarm, int n) {
  std::vector<char> buffer(static_cast<size_t>(n) + 1 + 8, '#');
  alarm.GetText(buffer.data(), n);
  for (size_t i = static_cast<size_t>(n) + 1; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '#') << "GetText wrote past n + 1 bytes, n = " << n;
  }
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', static_cast<size_t>(n) + 1));
  EXPECT_NE(end, nullptr) << "no terminator within n + 1 bytes, n = " << n;
  return end == nullptr ? std::string() : std::string(buffer.data(), static_cast<size_t>(end - buffer.data()));
}

TEST(AlarmTest, FullTexts) {
  EXPECT_EQ(TextOf(XCryptoAlarm(alarm_text::kInvalidKey), 255), "Crypto System: Invalid key");
  EXPECT_EQ(TextOf(XCryptoAlarm(alarm_text::kDataCorrupted, "AES"), 255), "Crypto System: Data is corrupted - AES");
  EXPECT_EQ(TextOf(XCryptoAlarm(alarm_text::kUnableToDecrypt, "RSA"), 255),
            "Crypto System: Unable to decrypt data - RSA");
}

TEST(AlarmTest, TextIsCutWhereTheRoomEnds) {
  // "Crypto System: " is 15 bytes, "Data is corrupted" 17, " - " 3.
  const XCryptoAlarm alarm(alarm_text::kDataCorrupted, "XBlob");
  const struct {
    int n;
    const char* text;
  } cases[] = {
      {0, ""},
      {5, "Crypt"},  // n smaller than the category: the category cut to n
      {14, "Crypto System:"},
      {15, "Crypto System: "},                    // no room left: the message is skipped
      {16, "Crypto System: D"},                   // the message cut to the room
      {32, "Crypto System: Data is corrupted"},   // message exactly fits
      {35, "Crypto System: Data is corrupted"},   // room for " - " but none for the object
      {36, "Crypto System: Data is corrupted - X"},
      {40, "Crypto System: Data is corrupted - XBlob"},
      {255, "Crypto System: Data is corrupted - XBlob"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextOf(alarm, c.n), c.text) << "n = " << c.n;
  }
}

TEST(AlarmTest, NoObjectMeansNoSeparator) {
  const XCryptoAlarm alarm(alarm_text::kInvalidKey);
  EXPECT_EQ(alarm.object, nullptr);
  EXPECT_EQ(TextOf(alarm, 40), "Crypto System: Invalid key");
}

TEST(AlarmTest, CaughtAsXAlarmWithTheStaticTexts) {
  try {
    throw XCryptoAlarm(alarm_text::kInvalidKey, "Twofish");  // thrown by value: a copy
  } catch (const XAlarm& alarm) {
    EXPECT_STREQ(alarm.category, "Crypto System: ");
    EXPECT_EQ(alarm.message, alarm_text::kInvalidKey);  // static texts, not copied
    EXPECT_STREQ(alarm.object, "Twofish");
    const XAlarm copy(alarm);
    EXPECT_EQ(copy.object, alarm.object);
    EXPECT_EQ(TextOf(copy, 255), "Crypto System: Invalid key - Twofish");
  }
}

// Raising an alarm cannot fail: an alarm raised when memory has run out must
// reach the caller as that alarm, never end the process.
static_assert(std::is_nothrow_constructible_v<XCryptoAlarm, const char*, const char*>);
static_assert(std::is_nothrow_copy_constructible_v<XCryptoAlarm>);
static_assert(std::is_nothrow_copy_constructible_v<XAlarm>);

#ifdef ORVO_TEST_WRAPPED_MALLOC
// Every malloc of this program's own code (the base library included, which
// is linked in statically) goes through __wrap_malloc (-Wl,--wrap=malloc);
// while `g_failMalloc` is set it fails, as when memory has run out.
bool g_failMalloc = false;
int g_failedMallocs = 0;

TEST(AlarmTest, RaisedAndComposedWhileEveryMallocFails) {
  std::string text;
  g_failedMallocs = 0;
  g_failMalloc = true;
  try {
    try {
      throw XCryptoAlarm(alarm_text::kDataCorrupted, "XBlob");
    } catch (const XAlarm& alarm) {
      const XAlarm copy(alarm);  // as a catch by value or a rethrow copies it
      char buffer[256];
      copy.GetText(buffer, 255);
      g_failMalloc = false;
      text = buffer;
    }
  } catch (...) {
    g_failMalloc = false;
    ADD_FAILURE() << "the alarm did not arrive as itself";
  }
  g_failMalloc = false;
  EXPECT_EQ(text, "Crypto System: Data is corrupted - XBlob");
  EXPECT_EQ(g_failedMallocs, 0) << "an alarm asked for memory";
}
#endif

}  // namespace

#ifdef ORVO_TEST_WRAPPED_MALLOC
extern "C" void* __real_malloc(std::size_t n);
extern "C" void* __wrap_malloc(std::size_t n) {
  if (g_failMalloc) {
    ++g_failedMallocs;
    return nullptr;
  }
  return __real_malloc(n);
}
#endif
