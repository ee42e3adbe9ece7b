// Helpers for driving the Blob component as script hosts do: byte-array
// arguments, the script forms of a get and a put, and a fixture that makes the
// component creatable (support/blob_loader/blob_component.h) and creates one Blob.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvoblob/blob_interface.h"
#include "tests/support/blob_loader/blob_component.h"
#include "tests/support/dispatch_calls.h"
#include "xatlcom/platform.h"

namespace blobtest {

// From tests/support/dispatch_calls.h: Str, I2, ByRef, Narrow, the outcome of
// one Invoke and Call (the last argument the named DISPID_PROPERTYPUT value
// with `namedPut`, every put of the script hosts).
using orvotest::ByRef;
using orvotest::Call;
using orvotest::I2;
using orvotest::Narrow;
using orvotest::Str;
using Outcome = orvotest::InvokeOutcome;

VARIANT Array(SAFEARRAY* array);  // VT_ARRAY|VT_UI1, owns the array
SAFEARRAY* ByteArray(const std::vector<uint8_t>& bytes, LONG lowerBound = 0);
std::vector<uint8_t> BytesOf(SAFEARRAY* array);
std::wstring Wide(BSTR text);

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
