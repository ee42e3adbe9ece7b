// BSTR helpers of the COM frame: one owner and one conversion from 8-bit text.
#pragma once

#include "xatlcom/platform.h"

namespace orvo {

// Owns one BSTR (or none) and frees it when it goes; Release() hands it over.
class Bstr {
 public:
  Bstr() noexcept = default;
  explicit Bstr(BSTR text) noexcept : text_(text) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const noexcept { return text_; }
  UINT Length() const noexcept { return SysStringLen(text_); }
  BSTR Release() noexcept {
    BSTR text = text_;
    text_ = nullptr;
    return text;
  }

 private:
  BSTR text_ = nullptr;
};

// `text` (8-bit, in the ANSI code page) as a new BSTR: "" for an empty text;
// null for a null text, one that cannot be converted, or when memory runs out.
BSTR AnsiToBstr(const char* text) noexcept;

}  // namespace orvo
