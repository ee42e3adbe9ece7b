#include "base/alarm.h"

#include <cstring>

namespace {

// Appends at most `room` bytes of `text` at buffer[length]; returns the new length.
int AppendAtMost(char* buffer, int length, const char* text, int room) {
  int i = 0;
  while (i < room && text[i] != '\0') {
    buffer[length + i] = text[i];
    ++i;
  }
  buffer[length + i] = '\0';
  return length + i;
}

}  // namespace

XAlarm::XAlarm(const char* category_, const char* message_, const char* object_) noexcept
    : category(category_), message(message_), object(object_) {}

XAlarm::~XAlarm() = default;

void XAlarm::GetText(char* buffer, int n) const {
  if (n < 0) return;
  buffer[n] = '\0';
  buffer[0] = '\0';
  int length = 0;
  if (category != nullptr) {
    length = AppendAtMost(buffer, length, category, n);
    n -= static_cast<int>(std::strlen(category));
  }
  if (n < 1 || message == nullptr) return;
  length = AppendAtMost(buffer, length, message, n);
  n -= static_cast<int>(std::strlen(message)) + 3;
  if (n < 1 || object == nullptr) return;
  length = AppendAtMost(buffer, length, " - ", 3);
  AppendAtMost(buffer, length, object, n);
}

XCryptoAlarm::XCryptoAlarm(const char* message_, const char* object_) noexcept
    : XAlarm(alarm_text::kCategory, message_, object_) {}

XCryptoAlarm::~XCryptoAlarm() = default;
