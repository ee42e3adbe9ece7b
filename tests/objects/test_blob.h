// An instrumented stand-in for the Blob component: IOrvoBlob and a minimal
// IDispatch over an XBlob of its own. Registered as the class CLSID_OrvoBlob
// (CoRegisterClassObject), it receives every Blob the scripting objects create.
//
// The ledger records every call the objects make on a Blob, in order, and
// every breach of the Blob contract: GetBuffer outside Lock/Unlock, Unlock
// without Lock, a Blob destroyed while locked, a Release too many.
// Failures can be planted: a Blob that refuses IOrvoBlob (as a proxy from
// another apartment does), GetBuffer or the IDispatch query failing, creation
// failing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orvoblob/blob_interface.h"
#include "xatlcom/platform.h"

namespace orvotest {

class TestBlob final : public IDispatch, public IOrvoBlob {
 public:
  // A Blob with one reference, held by the caller.
  explicit TestBlob(std::string name, std::vector<uint8_t> bytes = {});
  virtual ~TestBlob();
  TestBlob(const TestBlob&) = delete;
  TestBlob& operator=(const TestBlob&) = delete;

  // IUnknown (one for both interfaces).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch: no members at all; member 0 (a default value) answers
  // DISP_E_MEMBERNOTFOUND, as the Blob component does.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
  // IOrvoBlob.
  HRESULT STDMETHODCALLTYPE GetBuffer(XBlob** buffer) override;
  HRESULT STDMETHODCALLTYPE Lock() override;
  HRESULT STDMETHODCALLTYPE Unlock() override;

  IDispatch* AsDispatch() { return this; }
  std::vector<uint8_t> Bytes() const;
  // The TestBlob behind a Blob reference the objects handed back, or null.
  static TestBlob* From(IDispatch* object);

  const std::string name;
  XBlob content;
  ULONG refs = 1;
  int lockDepth = 0;
  int locks = 0;
  bool refuseBlobInterface = false;  // as a proxy from another apartment
  HRESULT getBufferResult = S_OK;
  HRESULT queryDispatchResult = S_OK;
};

// What the objects did to the Blobs, process-wide.
struct BlobLedger {
  std::vector<std::string> events;      // "QI R1 IOrvoBlob", "Lock A", "Release R1", ...
  std::vector<std::string> violations;  // breaches of the Blob contract
  int live = 0;                         // TestBlobs not yet destroyed
  int created = 0;                      // Blobs made by the class object
  bool record = true;                   // false: no events (violations still count)
  // Planted failures for the next Blobs the class object makes.
  HRESULT createResult = S_OK;
  HRESULT nextGetBufferResult = S_OK;
  HRESULT nextQueryDispatchResult = S_OK;

  void Reset();
  // The events as one line, "; "-separated, for comparisons.
  std::string Trace() const;
};
BlobLedger& Ledger();

// Registers the class object for CLSID_OrvoBlob in this process; Revoke undoes it.
class BlobClassRegistration {
 public:
  BlobClassRegistration();
  ~BlobClassRegistration();
  BlobClassRegistration(const BlobClassRegistration&) = delete;
  BlobClassRegistration& operator=(const BlobClassRegistration&) = delete;
  HRESULT hr() const { return hr_; }

 private:
  IClassFactory* factory_;
  DWORD cookie_ = 0;
  HRESULT hr_;
};

}  // namespace orvotest
