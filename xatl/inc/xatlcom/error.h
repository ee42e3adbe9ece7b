// COM error reporting: the error information a failing scripting method
// records, and the exception that carries it from a typed member function to
// the dispatcher, which turns it into EXCEPINFO texts.
#pragma once

#include "xatlcom/platform.h"

namespace orvo {

// Records error information for the calling thread (source: the ProgID
// registered for `clsid`; description: `message`, 8-bit text in the ANSI code
// page; GUID: `iid`) and returns the HRESULT the method is to return: `hr`, or
// DISP_E_EXCEPTION when `hr` is 0. Never fails on its own account.
HRESULT ReportError(REFCLSID clsid, const char* message, HRESULT hr, REFIID iid) noexcept;

}  // namespace orvo

// The failure of a typed member function: a code and optional texts.
class KorDispatchError {
 public:
  // An error with that code and no texts.
  explicit KorDispatchError(SCODE scode) noexcept;
  // An error built from error information. Takes over the caller's reference
  // to `errorInfo` and releases it. A text that cannot be read turns the code
  // into E_UNEXPECTED.
  KorDispatchError(SCODE scode, IErrorInfo* errorInfo) noexcept;
  // An error with the given texts (either may be null).
  KorDispatchError(SCODE scode, const OLECHAR* description, const OLECHAR* source) noexcept;
  KorDispatchError(const KorDispatchError& other) noexcept;
  KorDispatchError& operator=(const KorDispatchError& other) noexcept;
  ~KorDispatchError();

  SCODE Code() const noexcept { return scode_; }
  BSTR Description() const noexcept { return description_; }
  BSTR Source() const noexcept { return source_; }

  // Fills every field of `excepInfo`: a code above 1000 and below 32767 goes
  // to wCode (scode 0), any other to scode (wCode 0); bstrSource holds
  // "\nModule name:" and this module's path, then "\nSource:" and the source;
  // bstrDescription holds "\nError:" and the system's text for the code, then
  // "\nDescription:" and the description. Missing or empty parts are left out.
  void FillExcepInfo(EXCEPINFO* excepInfo) const noexcept;

 private:
  SCODE scode_;
  BSTR description_;
  BSTR source_;
};

namespace orvo {

// The typed member functions' check of a raw operation's result: a failure
// (negative HRESULT) throws KorDispatchError built from `hr` and the thread's
// error information (none: the code alone).
void ThrowOnFailure(HRESULT hr);

}  // namespace orvo
