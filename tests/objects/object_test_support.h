// Driving the scripting objects as script hosts do: objects created through
// the module's class objects, members called by name through
// IDispatch::Invoke with the flags and argument forms of VBScript and JScript,
// Blobs from the instrumented test Blob class.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/guids.h"
#include "tests/objects/test_blob.h"
#include "tests/support/dispatch_calls.h"
#include "xatlcom/platform.h"

namespace orvotest {

using Bytes = std::vector<uint8_t>;
Bytes Hex(const std::string& text);  // "00 0a ff" or "000aff"
std::string HexOf(const Bytes& bytes);

// The outcome of one Invoke (tests/support/dispatch_calls.h) with readers of
// the member's error texts and its result.
struct Outcome : InvokeOutcome {
  Outcome() = default;
  Outcome(Outcome&& other) noexcept = default;

  // The member's own message: the text after "\nDescription:" ("" if none).
  std::string Description() const;
  std::string Source() const;
  // The bytes of a returned Blob (fails the test when there is none).
  Bytes BlobBytes() const;
  TestBlob* Blob() const;
  LONG Long() const;
};

// The argument forms (I4, I2, Str, Disp, Null, Empty, ...) come from
// tests/support/dispatch_calls.h.

// How a host passes its arguments.
enum class Host { kVBScript, kJScript };

// Calls member `name` (resolved with GetIDsOfNames) with `flags`, arguments in
// script order, VBScript passing each as VT_BYREF|VT_VARIANT. With `putValue`
// the last argument is the named DISPID_PROPERTYPUT value.
Outcome Invoke(IDispatch* object, const char* name, WORD flags, std::vector<VARIANT> args, bool wantResult,
               Host host = Host::kVBScript, bool putValue = false);

// The common forms: `Set r = o.M(a, b)` / `o.M a, b` / `x = o.P` / `o.P = v` /
// `Set o.P = v`.
Outcome CallMethod(IDispatch* object, const char* name, std::vector<VARIANT> args = {});
Outcome CallStatement(IDispatch* object, const char* name, std::vector<VARIANT> args = {});
Outcome GetProperty(IDispatch* object, const char* name);
Outcome PutProperty(IDispatch* object, const char* name, VARIANT value, Host host = Host::kVBScript);
Outcome PutRefProperty(IDispatch* object, const char* name, VARIANT value);

// A new scripting object through the module's class object (the caller owns
// the one reference).
IDispatch* CreateObject(REFCLSID clsid);

// Expects DISP_E_EXCEPTION with `scode` and, when `message` is not null, that
// description; null `message`: no description at all.
void ExpectFailure(const Outcome& out, HRESULT scode, const char* message, const char* where = "");

// The module attached with the orvocrypto object map and registered, the test
// Blob class registered; every test ends with no Blob alive, none locked, no
// contract breach, and DllCanUnloadNow S_OK.
class ObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new scripting object (the test holds one reference, released at the end).
  IDispatch* Create(REFCLSID clsid);
  // A new test Blob with these bytes (held until the end of the test).
  TestBlob* NewBlob(const Bytes& bytes = {}, const std::string& name = "");
  // A Blob handed back by a member, kept alive to the end of the test.
  TestBlob* Keep(Outcome& out);
  TestBlob* Keep(Outcome&& out) { return Keep(out); }

 private:
  std::vector<IDispatch*> objects_;
  std::vector<TestBlob*> blobs_;
  BlobClassRegistration* registration_ = nullptr;
};

}  // namespace orvotest
