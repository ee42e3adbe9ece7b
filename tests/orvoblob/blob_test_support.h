// Helpers for driving the Blob component as script hosts do: VARIANT
// builders, one Invoke with its outcome, and a fixture that makes the
// component creatable (loader/blob_component.h) and creates one Blob.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/blob_interface.h"
#include "orvoblob/loader/blob_component.h"
#include "xatlcom/platform.h"

namespace blobtest {

VARIANT Str(const std::wstring& text);  // owns a new BSTR
VARIANT I2(SHORT v);
VARIANT ByRef(VARIANT* inner);          // VT_BYREF|VT_VARIANT
VARIANT Array(SAFEARRAY* array);        // VT_ARRAY|VT_UI1, owns the array
SAFEARRAY* ByteArray(const std::vector<uint8_t>& bytes, LONG lowerBound = 0);
std::vector<uint8_t> BytesOf(SAFEARRAY* array);
std::string Narrow(BSTR text);          // ASCII and Latin-1 text
std::wstring Wide(BSTR text);

// The outcome of one Invoke.
struct Outcome {
  HRESULT hr = S_OK;
  VARIANT result;
  EXCEPINFO excep{};
  UINT argErr = 0xDEADu;
  Outcome();
  ~Outcome();
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;
};

// Invokes `member` with the arguments in script order; with `namedPut` the last
// one is the named DISPID_PROPERTYPUT argument (every put of the script hosts).
// The arguments are cleared afterwards.
void Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args, bool namedPut, bool wantResult,
          Outcome& out);

// Script forms: VBScript's `x = o.P` (METHOD|PROPERTYGET) and `o.P = v`
// (PROPERTYPUT, named argument).
void Get(IDispatch* object, DISPID member, Outcome& out);
void Put(IDispatch* object, DISPID member, VARIANT value, Outcome& out);

// CoInitialize, the Blob class object registered, the module registered
// (so that error reports name the ProgID), and one Blob.
class BlobFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A new Blob through CoCreateInstance as the crypto objects make them.
  IOrvoBlob* NewBlob();
  // Sets the Blob's content through Hex; reads it back as Hex.
  void SetHex(IDispatch* object, const wchar_t* hex);
  std::string HexOf(IDispatch* object);

  orvo::test::BlobComponent component;
  IOrvoBlob* blob = nullptr;
  IDispatch* script = nullptr;  // the same Blob's scripting interface
};

}  // namespace blobtest
