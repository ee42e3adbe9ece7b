#include "orvoblob/orvo_blob.h"

#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/wipe.h"
#include "orvoblob/blob_files.h"
#include "orvoblob/text_codecs.h"
#include "xatlcom/bstr.h"
#include "xatlcom/error.h"

namespace {

// A scripting member's failure: the HRESULT and the description scripts see.
struct MemberFailure {
  HRESULT hr;
  std::string message;
};

constexpr std::size_t kMaxBlobSize = std::numeric_limits<uint32_t>::max();

[[noreturn]] void Fail(HRESULT hr, const std::string& message) { throw MemberFailure{hr, message}; }

void Check(bool ok, HRESULT hr, const char* message) {
  if (!ok) Fail(hr, message);
}

std::wstring_view Chars(BSTR text) { return text == nullptr ? std::wstring_view() : std::wstring_view(text, SysStringLen(text)); }

// `n` characters, counted in 64 bits (a hexadecimal text has twice as many as
// the Blob has bytes).
void CheckStringLength(uint64_t n) {
  Check(n <= std::numeric_limits<UINT>::max() / sizeof(OLECHAR) - 1, E_OUTOFMEMORY, "The text is too long for a string");
}

BSTR NewBstr(const wchar_t* chars, std::size_t n) {
  CheckStringLength(n);
  BSTR out = SysAllocStringLen(chars, static_cast<UINT>(n));
  if (out == nullptr) throw std::bad_alloc();
  return out;
}

// Hexadecimal or Base64 digits: ASCII, which reads the same in every ANSI code page.
BSTR AsciiBstr(const std::string& text) {
  CheckStringLength(text.size());
  BSTR out = orvo::AnsiToBstr(text.c_str());
  if (out == nullptr) throw std::bad_alloc();
  return out;
}

// A path for an error message, in the ANSI code page that ReportError reads.
std::string PathForMessage(std::wstring_view path) {
  if (path.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// The byte array a Bytes put receives: VT_ARRAY|VT_UI1, by value or by
// reference, possibly inside a VT_BYREF|VT_VARIANT; VT_EMPTY and VT_NULL (what
// ADODB.Stream's Read gives at the end of a stream) stand for no bytes.
// Returns false for anything else; `array` is null for no bytes.
bool ByteArrayOf(const VARIANT* value, SAFEARRAY*& array) {
  array = nullptr;
  for (int depth = 0; depth < 2 && V_VT(value) == (VT_BYREF | VT_VARIANT); ++depth) {
    value = V_VARIANTREF(value);
    if (value == nullptr) return false;
  }
  switch (V_VT(value)) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_ARRAY | VT_UI1: array = V_ARRAY(value); return true;
    case VT_BYREF | VT_ARRAY | VT_UI1:
      if (V_ARRAYREF(value) == nullptr) return false;
      array = *V_ARRAYREF(value);
      return true;
    default: return false;
  }
}

// Bytes is declared VT_VARIANT so that its put receives the caller's VARIANT
// as it stands (by-reference forms included) and its get returns the array
// in the result VARIANT; these two rows' functions are written out.
void GetBytes(IDispatch* self, VARIANTARG* const*, VARIANT* result) {
  orvo::ThrowOnFailure(static_cast<IOrvoBlobDispatch*>(self)->get_Bytes(result));
}
void PutBytes(IDispatch* self, VARIANTARG* const* args, VARIANT*) {
  orvo::ThrowOnFailure(static_cast<IOrvoBlobDispatch*>(self)->put_Bytes(args[0]));
}

using I = IOrvoBlobDispatch;
const orvo::MemberEntry kBlobRows[] = {
    orvo::Property<&I::get_Hex, &I::put_Hex>("Hex"),
    orvo::Property<&I::get_Base64, &I::put_Base64>("Base64"),
    orvo::Property<&I::get_Text, &I::put_Text>("Text"),
    orvo::Method<&I::get_Size>("Size"),
    {"Bytes", nullptr, VT_VARIANT, &GetBytes, &PutBytes},
    orvo::Method<&I::Clear>("Clear"),
    orvo::Method<&I::LoadFromFile>("LoadFromFile"),
    orvo::Method<&I::SaveToFile>("SaveToFile"),
};
const orvo::MemberTable kBlobTable = orvo::MakeMemberTable(&orvo::DispatchBaseTable, kBlobRows);

// The position of the IOrvoBlob part inside the object (ATL's offsetofclass).
std::ptrdiff_t BlobInterfaceOffset() {
  constexpr std::uintptr_t kProbe = 0x1000;
  auto* object = reinterpret_cast<OrvoBlob*>(kProbe);
  return reinterpret_cast<char*>(static_cast<IOrvoBlob*>(object)) - reinterpret_cast<char*>(object);
}

}  // namespace

const orvo::InterfaceMapEntry OrvoBlob::kInterfaceMap[] = {
    {&IID_IOrvoBlobDispatch, 0},
    {&IID_IDispatch, 0},
    {&IID_IOrvoBlob, BlobInterfaceOffset()},
    {nullptr, 0},
};

const orvo::MemberTable* OrvoBlob::GetMemberTable() { return &kBlobTable; }

// ------------------------------------------------------------------ IOrvoBlob
HRESULT OrvoBlob::GetBuffer(XBlob** buffer) {
  if (buffer == nullptr) return E_POINTER;
  *buffer = &blob_;
  return S_OK;
}

HRESULT OrvoBlob::Lock() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> hold(mutex_);
  if (lockDepth_ > 0 && owner_ == me) {
    ++lockDepth_;
    return S_OK;
  }
  released_.wait(hold, [this] { return lockDepth_ == 0; });
  owner_ = me;
  lockDepth_ = 1;
  return S_OK;
}

HRESULT OrvoBlob::Unlock() {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> hold(mutex_);
  if (lockDepth_ == 0 || owner_ != me) return E_UNEXPECTED;
  if (--lockDepth_ == 0) {
    owner_ = std::thread::id();
    released_.notify_all();
  }
  return S_OK;
}

// ------------------------------------------------------------------ scripting
template <class Body>
HRESULT OrvoBlob::Run(Body&& body) noexcept {
  Lock();
  HRESULT hr = S_OK;
  try {
    body();
  } catch (const MemberFailure& failure) {
    hr = orvo::ReportError(CLSID_OrvoBlob, failure.message.c_str(), failure.hr, IID_IOrvoBlobDispatch);
  } catch (const std::bad_alloc&) {
    hr = orvo::ReportError(CLSID_OrvoBlob, "Not enough memory for the Blob", E_OUTOFMEMORY, IID_IOrvoBlobDispatch);
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  Unlock();
  return hr;
}

void OrvoBlob::Store(const uint8_t* bytes, std::size_t n) {
  Check(n <= kMaxBlobSize, E_OUTOFMEMORY, "The data is too large for a Blob");
  const auto size = static_cast<uint32_t>(n);
  if (size > blob_.capacity) blob_.Grow(size - blob_.capacity);  // may fail: the bytes stay as they were
  if (size != 0) std::memcpy(blob_.data, bytes, size);
  orvo::SecureWipe(blob_.data + size, blob_.capacity - size);
  blob_.size = size;
}

HRESULT OrvoBlob::get_Hex(BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return Run([&] {
    CheckStringLength(uint64_t{blob_.size} * 2);  // before the text is made
    *text = AsciiBstr(orvo::FormatHex(blob_.data, blob_.size));
  });
}

HRESULT OrvoBlob::put_Hex(BSTR text) {
  return Run([&] {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!orvo::ParseHex(Chars(text), bytes, error)) Fail(E_INVALIDARG, error);
    Store(bytes.data(), bytes.size());
  });
}

HRESULT OrvoBlob::get_Base64(BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return Run([&] {
    CheckStringLength((uint64_t{blob_.size} + 2) / 3 * 4);  // before the text is made
    *text = AsciiBstr(orvo::FormatBase64(blob_.data, blob_.size));
  });
}

HRESULT OrvoBlob::put_Base64(BSTR text) {
  return Run([&] {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!orvo::ParseBase64(Chars(text), bytes, error)) Fail(E_INVALIDARG, error);
    Store(bytes.data(), bytes.size());
  });
}

HRESULT OrvoBlob::get_Text(BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return Run([&] {
    std::wstring wide;
    std::string error;
    if (!orvo::Utf8ToWide(blob_.data, blob_.size, wide, error)) Fail(E_FAIL, error);
    *text = NewBstr(wide.data(), wide.size());
  });
}

HRESULT OrvoBlob::put_Text(BSTR text) {
  return Run([&] {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!orvo::WideToUtf8(Chars(text), bytes, error)) Fail(E_INVALIDARG, error);
    Store(bytes.data(), bytes.size());
  });
}

HRESULT OrvoBlob::get_Size(LONG* size) {
  if (size == nullptr) return E_POINTER;
  *size = 0;
  return Run([&] {
    Check(blob_.size <= static_cast<uint32_t>(std::numeric_limits<LONG>::max()), E_FAIL,
          "The Blob's size does not fit a 32-bit signed number");
    *size = static_cast<LONG>(blob_.size);
  });
}

HRESULT OrvoBlob::get_Bytes(VARIANT* bytes) {
  if (bytes == nullptr) return E_POINTER;
  VariantInit(bytes);
  return Run([&] {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, blob_.size);
    if (array == nullptr) throw std::bad_alloc();
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
      if (blob_.size != 0) std::memcpy(data, blob_.data, blob_.size);
      SafeArrayUnaccessData(array);
    }
    V_VT(bytes) = VT_ARRAY | VT_UI1;
    V_ARRAY(bytes) = array;
  });
}

HRESULT OrvoBlob::put_Bytes(VARIANT* bytes) {
  if (bytes == nullptr) return E_POINTER;
  return Run([&] {
    SAFEARRAY* array = nullptr;
    Check(ByteArrayOf(bytes, array), DISP_E_TYPEMISMATCH, "Bytes takes an array of bytes (VT_ARRAY|VT_UI1)");
    if (array == nullptr) {
      Store(nullptr, 0);
      return;
    }
    Check(SafeArrayGetDim(array) == 1 && SafeArrayGetElemsize(array) == 1, DISP_E_TYPEMISMATCH,
          "Bytes takes a one-dimensional array of bytes");
    // The element count as the descriptor keeps it: the upper bound (lower
    // bound + count - 1) wraps past the top of LONG for a lower bound near it,
    // which would store too few bytes.
    const std::size_t n = array->rgsabound[0].cElements;
    void* data = nullptr;
    Check(SUCCEEDED(SafeArrayAccessData(array, &data)), E_INVALIDARG, "The array of bytes cannot be read");
    try {
      Store(static_cast<const uint8_t*>(data), n);
    } catch (...) {
      SafeArrayUnaccessData(array);
      throw;
    }
    SafeArrayUnaccessData(array);
  });
}

HRESULT OrvoBlob::Clear() {
  return Run([&] { Store(nullptr, 0); });
}

HRESULT OrvoBlob::LoadFromFile(BSTR path) {
  return Run([&] {
    std::vector<uint8_t> bytes;
    std::string error;
    const std::wstring name(Chars(path));
    if (!orvo::ReadWholeFile(name, kMaxBlobSize, bytes, error)) Fail(E_FAIL, error + ": " + PathForMessage(name));
    Store(bytes.data(), bytes.size());
  });
}

HRESULT OrvoBlob::SaveToFile(BSTR path) {
  return Run([&] {
    std::string error;
    const std::wstring name(Chars(path));
    if (!orvo::WriteWholeFile(name, blob_.data, blob_.size, error)) Fail(E_FAIL, error + ": " + PathForMessage(name));
  });
}

orvo::ObjectMapEntry* BlobObjectMap() noexcept {
  static orvo::ObjectMapEntry map[] = {orvo::ObjectMapRow<OrvoBlob>(), orvo::ObjectMapEnd()};
  return map;
}
