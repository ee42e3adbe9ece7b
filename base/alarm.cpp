#include "base/alarm.h"

#include <cstdlib>
#include <cstring>

namespace {

char* Duplicate(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy == nullptr) std::abort();
  std::memcpy(copy, text, n);
  return copy;
}

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

XAlarm::XAlarm(const char* category_, const char* message_, const char* object_)
    : category(category_), message(message_), object(Duplicate(object_)) {}

XAlarm::XAlarm(const XAlarm& other)
    : category(other.category), message(other.message), object(Duplicate(other.object)) {}

XAlarm::~XAlarm() { std::free(object); }

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

XCryptoAlarm::XCryptoAlarm(const char* message_, const char* object_)
    : XAlarm(alarm_text::kCategory, message_, object_) {}

XCryptoAlarm::~XCryptoAlarm() = default;
