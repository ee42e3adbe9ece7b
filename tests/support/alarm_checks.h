// The tests' one way to look at an alarm: what `call` raised, as
// "message/object" ("message/" without an object name, "no alarm" when it
// returned), so that a failure shows both texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/alarm.h"

namespace orvo::test {

template <typename Call>
std::string AlarmOf(Call call) {
  try {
    call();
  } catch (const XAlarm& alarm) {
    return std::string(alarm.message) + "/" + (alarm.object != nullptr ? alarm.object : "");
  }
  return "no alarm";
}

// Expects `call` to raise the alarm with this message and object name
// (nullptr: none).
template <typename Call>
void ExpectAlarm(Call call, const char* message, const char* object) {
  EXPECT_EQ(AlarmOf(call), std::string(message) + "/" + (object != nullptr ? object : ""));
}

}  // namespace orvo::test
