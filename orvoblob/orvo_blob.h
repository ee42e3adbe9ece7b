// OrvoBlob: the Blob component's class. Its bytes live in an XBlob whose
// blocks come from the shared XBlob allocator, reached by other modules
// through IOrvoBlob (GetBuffer, Lock, Unlock) and by scripts through the
// table-driven IDispatch of IOrvoBlobDispatch:
//
//   no. name          kind                 type
//   1   Hex           property get/put     VT_BSTR
//   2   Base64        property get/put     VT_BSTR
//   3   Text          property get/put     VT_BSTR (the bytes as UTF-8)
//   4   Size          method               VT_I4 (read-only; scripts read it as
//                                           they would a property)
//   5   Bytes         property get/put     VT_ARRAY|VT_UI1 (put: also by reference,
//                                           and VT_EMPTY or VT_NULL for no bytes)
//   6   Clear         method               -
//   7   LoadFromFile  method (VT_BSTR)     -
//   8   SaveToFile    method (VT_BSTR)     -
//
// There is no default member: DISPID_VALUE answers DISP_E_MEMBERNOTFOUND, so a
// Blob assigned without Set is handed over as the object itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/xblob.h"
#include "orvoblob/blob_interface.h"
#include "xatlcom/comobject.h"
#include "xatlcom/dispatch.h"
#include "xatlcom/platform.h"

// The Blob's scripting interface.
inline constexpr IID IID_IOrvoBlobDispatch = {
    0xD0238581, 0xEA99, 0x403B, {0x87, 0xD4, 0x3D, 0x8D, 0xAA, 0x9E, 0xF7, 0xA1}};

struct IOrvoBlobDispatch : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Hex(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Hex(BSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Base64(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Base64(BSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Text(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Text(BSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Size(LONG* size) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Bytes(VARIANT* bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Bytes(VARIANT* bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE LoadFromFile(BSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveToFile(BSTR path) = 0;
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~IOrvoBlobDispatch() = default;
};

// Member numbers of the Blob's table.
enum OrvoBlobMember : DISPID {
  kBlobHex = 1,
  kBlobBase64,
  kBlobText,
  kBlobSize,
  kBlobBytes,
  kBlobClear,
  kBlobLoadFromFile,
  kBlobSaveToFile,
};

class OrvoBlob : public orvo::DispatchImpl<IOrvoBlobDispatch>, public IOrvoBlob {
 public:
  static constexpr const CLSID* kClassId = &CLSID_OrvoBlob;
  static constexpr const char* kProgId = "Quelvar.OrvoBlob.1";
  static constexpr const char* kVersionIndependentProgId = "Quelvar.OrvoBlob";
  static const orvo::InterfaceMapEntry kInterfaceMap[];

  OrvoBlob() = default;  // the XBlob allocates its first block
  ~OrvoBlob() override = default;

  // IOrvoBlob. Lock may be entered again by the thread that holds it; each
  // Unlock undoes one Lock. Another thread's Lock waits until the holder's
  // last Unlock. Unlock by a thread that holds no Lock changes nothing and
  // returns E_UNEXPECTED.
  HRESULT STDMETHODCALLTYPE GetBuffer(XBlob** buffer) override;
  HRESULT STDMETHODCALLTYPE Lock() override;
  HRESULT STDMETHODCALLTYPE Unlock() override;

  // IOrvoBlobDispatch.
  HRESULT STDMETHODCALLTYPE get_Hex(BSTR* text) override;
  HRESULT STDMETHODCALLTYPE put_Hex(BSTR text) override;
  HRESULT STDMETHODCALLTYPE get_Base64(BSTR* text) override;
  HRESULT STDMETHODCALLTYPE put_Base64(BSTR text) override;
  HRESULT STDMETHODCALLTYPE get_Text(BSTR* text) override;
  HRESULT STDMETHODCALLTYPE put_Text(BSTR text) override;
  HRESULT STDMETHODCALLTYPE get_Size(LONG* size) override;
  HRESULT STDMETHODCALLTYPE get_Bytes(VARIANT* bytes) override;
  HRESULT STDMETHODCALLTYPE put_Bytes(VARIANT* bytes) override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE LoadFromFile(BSTR path) override;
  HRESULT STDMETHODCALLTYPE SaveToFile(BSTR path) override;
  const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() override;

 private:
  // Runs one scripting member under the Blob's lock: `body` returns S_OK or
  // throws MemberFailure; the failure is reported with ReportError.
  template <class Body>
  HRESULT Run(Body&& body) noexcept;
  // Replaces the content with n bytes; the block is kept when large enough and
  // the bytes past the new size are wiped.
  void Store(const uint8_t* bytes, std::size_t n);

  XBlob blob_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  unsigned lockDepth_ = 0;
};

// The module's object map: the one row of OrvoBlob.
orvo::ObjectMapEntry* BlobObjectMap() noexcept;
