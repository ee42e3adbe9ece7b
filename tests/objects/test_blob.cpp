#include "tests/objects/test_blob.h"

#include <cstring>
#include <new>

namespace orvotest {

BlobLedger& Ledger() {
  static BlobLedger ledger;
  return ledger;
}

void BlobLedger::Reset() {
  events.clear();
  violations.clear();
  created = 0;
  createResult = S_OK;
  nextGetBufferResult = S_OK;
  nextQueryDispatchResult = S_OK;
  record = true;
}

std::string BlobLedger::Trace() const {
  // CoCreateInstance may query the new Blob itself and release its first
  // reference (Wine's does); those calls are COM's, not the module's.
  std::string line;
  std::string creating;
  for (const std::string& e : events) {
    if (e.rfind("Create R", 0) == 0) {
      creating = e.substr(7);
    } else if (!creating.empty() && (e == "QI " + creating + " IOrvoBlob" || e == "Release " + creating)) {
      continue;
    } else {
      creating.clear();
    }
    line += (line.empty() ? "" : "; ") + e;
  }
  return line;
}

namespace {

void Event(const std::string& text) {
  if (Ledger().record) Ledger().events.push_back(text);
}
void Violation(const std::string& text) { Ledger().violations.push_back(text); }

const char* IidName(REFIID riid) {
  if (IsEqualIID(riid, IID_IOrvoBlob)) return "IOrvoBlob";
  if (IsEqualIID(riid, IID_IDispatch)) return "IDispatch";
  if (IsEqualIID(riid, IID_IUnknown)) return "IUnknown";
  return "other";
}

}  // namespace

TestBlob::TestBlob(std::string blobName, std::vector<uint8_t> bytes) : name(std::move(blobName)), content(16) {
  if (!bytes.empty()) content.Append(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ++Ledger().live;
}

TestBlob::~TestBlob() {
  if (lockDepth != 0) Violation(name + " destroyed while locked");
  --Ledger().live;
}

HRESULT TestBlob::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (Ledger().record) Event("QI " + name + " " + IidName(riid));
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    if (IsEqualIID(riid, IID_IDispatch) && FAILED(queryDispatchResult)) return queryDispatchResult;
    *ppv = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(riid, IID_IOrvoBlob) && !refuseBlobInterface) {
    *ppv = static_cast<IOrvoBlob*>(this);
  } else {
    return E_NOINTERFACE;
  }
  ++refs;
  return S_OK;
}

ULONG TestBlob::AddRef() {
  if (Ledger().record) Event("AddRef " + name);  // the module never calls it; argument conversions in the dispatcher may
  return ++refs;
}

ULONG TestBlob::Release() {
  if (Ledger().record) Event("Release " + name);
  if (refs == 0) {
    Violation("Release of " + name + " without a reference");
    return 0;
  }
  const ULONG left = --refs;
  if (left == 0) delete this;
  return left;
}

HRESULT TestBlob::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}
HRESULT TestBlob::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return DISP_E_BADINDEX;
}
HRESULT TestBlob::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }
HRESULT TestBlob::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  if (Ledger().record) Event("Invoke " + name + " " + std::to_string(member));
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT TestBlob::GetBuffer(XBlob** buffer) {
  if (Ledger().record) Event("GetBuffer " + name);
  if (lockDepth == 0) Violation("GetBuffer " + name + " while not locked");
  *buffer = nullptr;
  if (FAILED(getBufferResult)) return getBufferResult;
  *buffer = &content;
  return S_OK;
}

HRESULT TestBlob::Lock() {
  if (Ledger().record) Event("Lock " + name);
  ++lockDepth;
  ++locks;
  return S_OK;
}

HRESULT TestBlob::Unlock() {
  if (Ledger().record) Event("Unlock " + name);
  if (lockDepth == 0) {
    Violation("Unlock " + name + " while not locked");
    return E_UNEXPECTED;
  }
  --lockDepth;
  return S_OK;
}

std::vector<uint8_t> TestBlob::Bytes() const { return std::vector<uint8_t>(content.data, content.data + content.size); }

TestBlob* TestBlob::From(IDispatch* object) { return dynamic_cast<TestBlob*>(object); }

namespace {

// The class object of the test Blobs. Blobs it makes are named R1, R2, ... and
// start with stale bytes, so that a member that forgets to empty them shows.
class TestBlobFactory final : public IClassFactory {
 public:
  virtual ~TestBlobFactory() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    BlobLedger& ledger = Ledger();
    if (FAILED(ledger.createResult)) {
      Event("Create failed");
      return ledger.createResult;
    }
    TestBlob* blob = nullptr;
    try {  // as a real Blob class: memory running out fails the creation
      const std::string name = "R" + std::to_string(ledger.created + 1);
      Event("Create " + name);
      blob = new TestBlob(name, {0xEE, 0xEE, 0xEE});
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    ++ledger.created;
    blob->getBufferResult = ledger.nextGetBufferResult;
    blob->queryDispatchResult = ledger.nextQueryDispatchResult;
    ledger.nextGetBufferResult = S_OK;
    ledger.nextQueryDispatchResult = S_OK;
    const bool record = ledger.record;
    ledger.record = false;  // the factory's own query is not the module's
    const HRESULT hr = blob->QueryInterface(riid, ppv);
    ledger.record = record;
    blob->refs -= 1;  // the new Blob's only reference is the one handed out
    if (FAILED(hr)) delete blob;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ULONG refs_ = 1;
};

}  // namespace

BlobClassRegistration::BlobClassRegistration() : factory_(new TestBlobFactory) {
  hr_ = CoRegisterClassObject(CLSID_OrvoBlob, factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
}

BlobClassRegistration::~BlobClassRegistration() {
  if (SUCCEEDED(hr_)) CoRevokeClassObject(cookie_);
  factory_->Release();
}

}  // namespace orvotest
