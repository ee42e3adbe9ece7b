// XAlarm and XCryptoAlarm: the exceptions of the cipher core, the blob framing
// and RSA. Thrown by value, caught by reference as XAlarm where a call enters
// the core (a scripting method's frame, the C library's call frame, the
// Python module, the command-line tool), which composes the text with GetText.
//
// An alarm holds three pointers to static texts and allocates nothing: making,
// copying and composing one cannot fail, so raising an alarm when memory has
// run out reports the alarm like any other (it never ends the process).
#pragma once

namespace alarm_text {
inline constexpr const char kCategory[] = "Crypto System: ";
inline constexpr const char kInvalidKey[] = "Invalid key";
inline constexpr const char kUnableToDecrypt[] = "Unable to decrypt data";
inline constexpr const char kDataCorrupted[] = "Data is corrupted";
}  // namespace alarm_text

class XAlarm {
 public:
  // All three texts are static (string literals or constants): the alarm keeps
  // the pointers, not copies.
  XAlarm(const char* category, const char* message, const char* object) noexcept;
  XAlarm(const XAlarm& other) noexcept = default;
  XAlarm& operator=(const XAlarm&) = delete;
  virtual ~XAlarm();

  // Composes "<category><message> - <object>" into `buffer`, which holds n + 1
  // bytes: the category cut to n bytes; the message only while room is left;
  // " - " and the object only while room is left after the message and the
  // separator. The result is always zero-terminated within the n + 1 bytes.
  void GetText(char* buffer, int n) const;

  const char* category;  // static text, not owned
  const char* message;   // static text, not owned
  const char* object;    // static text, not owned; may be null
};

class XCryptoAlarm : public XAlarm {
 public:
  explicit XCryptoAlarm(const char* message, const char* object = nullptr) noexcept;
  XCryptoAlarm(const XCryptoAlarm& other) = default;
  ~XCryptoAlarm() override;
};
