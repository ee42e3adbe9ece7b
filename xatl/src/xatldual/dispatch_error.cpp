// KorDispatchError and the EXCEPINFO texts of a failed member.
#include <cstdint>

#include "xatlcom/bstr.h"
#include "xatlcom/error.h"
#include "xatlcom/module.h"

namespace {

using orvo::AnsiToBstr;
using orvo::Bstr;

BSTR Duplicate(BSTR text) { return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text)); }

// `text` followed by `tail`, in a new string; when that cannot be made, `text`
// stays as it was.
void Append(BSTR& text, const OLECHAR* tail, UINT tailLength) {
  const UINT length = SysStringLen(text);
  BSTR joined = SysAllocStringLen(nullptr, length + tailLength);
  if (joined == nullptr) return;
  for (UINT i = 0; i < length; ++i) joined[i] = text[i];
  for (UINT i = 0; i < tailLength; ++i) joined[length + i] = tail[i];
  SysFreeString(text);
  text = joined;
}

void AppendSection(BSTR& text, const char* label, BSTR value) {
  if (SysStringLen(value) == 0) return;
  const Bstr wideLabel(AnsiToBstr(label));
  Append(text, wideLabel.get(), wideLabel.Length());
  Append(text, value, SysStringLen(value));
}

// An 8-bit text in the ANSI code page appended after `label`; nothing when it
// is empty or cannot be converted.
void AppendSection(BSTR& text, const char* label, const char* value) {
  const Bstr wide(AnsiToBstr(value));
  AppendSection(text, label, wide.get());
}

}  // namespace

KorDispatchError::KorDispatchError(SCODE scode) noexcept : scode_(scode), description_(nullptr), source_(nullptr) {}

KorDispatchError::KorDispatchError(SCODE scode, IErrorInfo* errorInfo) noexcept
    : scode_(scode), description_(nullptr), source_(nullptr) {
  if (errorInfo == nullptr) return;
  if (FAILED(errorInfo->GetDescription(&description_))) scode_ = E_UNEXPECTED;
  if (FAILED(errorInfo->GetSource(&source_))) scode_ = E_UNEXPECTED;
  errorInfo->Release();
}

KorDispatchError::KorDispatchError(SCODE scode, const OLECHAR* description, const OLECHAR* source) noexcept
    : scode_(scode), description_(SysAllocString(description)), source_(SysAllocString(source)) {}

KorDispatchError::KorDispatchError(const KorDispatchError& other) noexcept
    : scode_(other.scode_), description_(Duplicate(other.description_)), source_(Duplicate(other.source_)) {}

KorDispatchError& KorDispatchError::operator=(const KorDispatchError& other) noexcept {
  if (this != &other) {
    SysFreeString(description_);
    SysFreeString(source_);
    scode_ = other.scode_;
    description_ = Duplicate(other.description_);
    source_ = Duplicate(other.source_);
  }
  return *this;
}

KorDispatchError::~KorDispatchError() {
  SysFreeString(description_);
  SysFreeString(source_);
}

void KorDispatchError::FillExcepInfo(EXCEPINFO* excepInfo) const noexcept {
  const auto code = static_cast<uint32_t>(scode_);
  if (code > 1000 && code < 32767) {
    excepInfo->wCode = static_cast<WORD>(code & 0xFFFF);
    excepInfo->scode = 0;
  } else {
    excepInfo->wCode = 0;
    excepInfo->scode = scode_;
  }

  BSTR source = SysAllocStringLen(nullptr, 0);
  char modulePath[500];
  const DWORD pathLength = GetModuleFileNameA(orvo::ModuleInstance(), modulePath, sizeof modulePath);
  modulePath[pathLength < sizeof modulePath ? pathLength : sizeof modulePath - 1] = 0;
  AppendSection(source, "\nModule name:", modulePath);
  AppendSection(source, "\nSource:", source_);

  BSTR description = SysAllocStringLen(nullptr, 0);
  char* systemText = nullptr;
  const DWORD textLength =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                     nullptr, static_cast<DWORD>(scode_), LOCALE_USER_DEFAULT, reinterpret_cast<LPSTR>(&systemText),
                     0, nullptr);
  if (systemText != nullptr) {
    if (textLength > 0) AppendSection(description, "\nError:", systemText);
    LocalFree(systemText);
  }
  AppendSection(description, "\nDescription:", description_);

  excepInfo->wReserved = 0;
  excepInfo->bstrSource = source;
  excepInfo->bstrDescription = description;
  excepInfo->bstrHelpFile = nullptr;
  excepInfo->dwHelpContext = 0;
  excepInfo->pvReserved = nullptr;
  excepInfo->pfnDeferredFillIn = nullptr;
}

namespace orvo {

void ThrowOnFailure(HRESULT hr) {
  if (SUCCEEDED(hr)) return;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) throw KorDispatchError(hr, info);
  throw KorDispatchError(hr);
}

}  // namespace orvo
