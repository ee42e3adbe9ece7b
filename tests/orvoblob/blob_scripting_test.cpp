// The Blob's scripting side through IDispatch::Invoke with the flags that
// VBScript and JScript pass: every member's main path, its refusals as
// DISP_E_EXCEPTION with a description, and the content left unchanged by a
// refused put.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orvoblob/orvo_blob.h"
#include "tests/orvoblob/blob_test_support.h"

namespace {

using namespace blobtest;

class BlobScripting : public BlobFixture {
 protected:
  // A failed member as scripts see it: DISP_E_EXCEPTION, the code in scode,
  // the Blob's ProgID as source and `description` as the member's message.
  void ExpectFailure(const Outcome& out, HRESULT scode, const std::string& description) {
    EXPECT_EQ(DISP_E_EXCEPTION, out.hr);
    EXPECT_EQ(scode, out.excep.scode);
    const std::string source = Narrow(out.excep.bstrSource);
    EXPECT_NE(std::string::npos, source.find("\nSource:Quelvar.OrvoBlob.1")) << source;
    const std::string text = Narrow(out.excep.bstrDescription);
    const std::string tail = "\nDescription:" + description;
    EXPECT_TRUE(text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
        << text;
  }
};

TEST_F(BlobScripting, NamesInAnyCaseGiveTheTableNumbers) {
  const struct {
    const wchar_t* name;
    DISPID id;
  } names[] = {{L"hex", kBlobHex},           {L"BASE64", kBlobBase64},          {L"Text", kBlobText},
               {L"size", kBlobSize},         {L"bYtEs", kBlobBytes},            {L"clear", kBlobClear},
               {L"loadfromfile", kBlobLoadFromFile}, {L"SaveToFile", kBlobSaveToFile}};
  for (const auto& n : names) {
    LPOLESTR name = const_cast<LPOLESTR>(n.name);
    DISPID id = 0;
    EXPECT_EQ(S_OK, script->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(n.id, id);
  }
  LPOLESTR value = const_cast<LPOLESTR>(L"Value");
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, script->GetIDsOfNames(IID_NULL, &value, 1, LOCALE_USER_DEFAULT, &id));
}

// No default member, so that `aes.Key = blob` without Set hands over the Blob.
TEST_F(BlobScripting, HasNoDefaultMember) {
  Outcome get, put;
  Call(script, DISPID_VALUE, DISPATCH_PROPERTYGET, {}, false, true, get);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, get.hr);
  Put(script, DISPID_VALUE, Str(L"00"), put);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, put.hr);
  VARIANT object;
  VariantInit(&object);
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = script;
  VARIANT text;
  VariantInit(&text);
  EXPECT_TRUE(FAILED(VariantChangeType(&text, &object, 0, VT_BSTR)));  // no value stands for the Blob
}

TEST_F(BlobScripting, HexReadsAndWritesTheBytes) {
  EXPECT_EQ("", HexOf(script));  // a new Blob from this component is empty
  SetHex(script, L" 00ff7f\r\n0A ");
  EXPECT_EQ("00FF7F0A", HexOf(script));
  Outcome jscript;  // JScript reads a property with DISPATCH_PROPERTYGET alone
  Call(script, kBlobHex, DISPATCH_PROPERTYGET, {}, false, true, jscript);
  EXPECT_EQ(S_OK, jscript.hr);
  EXPECT_EQ("00FF7F0A", Narrow(V_BSTR(&jscript.result)));
  Outcome number;  // VBScript's `blob.Hex = 1234` passes an Integer: its text is read
  Put(script, kBlobHex, I2(1234), number);
  EXPECT_EQ(S_OK, number.hr);
  EXPECT_EQ("1234", HexOf(script));
}

TEST_F(BlobScripting, RefusedTextLeavesTheContent) {
  SetHex(script, L"C0FFEE");
  const struct {
    DISPID member;
    const wchar_t* text;
    const char* description;
  } cases[] = {
      {kBlobHex, L"0A0BxC", "Invalid hexadecimal text at position 5"},
      {kBlobHex, L"ABC", "Hexadecimal text has an odd number of digits"},
      {kBlobBase64, L"Zm9v!A==", "Invalid Base64 text at position 5"},
      {kBlobBase64, L"Zm9", "Incomplete Base64 text: the characters do not make whole groups of four"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Outcome out;
    Put(script, c.member, Str(c.text), out);
    ExpectFailure(out, E_INVALIDARG, c.description);
    EXPECT_EQ("C0FFEE", HexOf(script));
  }
}

TEST_F(BlobScripting, Base64ReadsAndWritesTheBytes) {
  Outcome put, get;
  Put(script, kBlobBase64, Str(L"Zm9v\r\nYmFy"), put);
  ASSERT_EQ(S_OK, put.hr);
  EXPECT_EQ("666F6F626172", HexOf(script));
  SetHex(script, L"666F6F6261");
  Get(script, kBlobBase64, get);
  EXPECT_EQ("Zm9vYmE=", Narrow(V_BSTR(&get.result)));  // RFC 4648, section 10
}

TEST_F(BlobScripting, TextIsUtf8) {
  std::wstring text = L"A\u2262\u0391.";
  Outcome put;
  Put(script, kBlobText, Str(text), put);
  ASSERT_EQ(S_OK, put.hr);
  EXPECT_EQ("41E289A2CE912E", HexOf(script));  // RFC 3629, section 7

  SetHex(script, L"EFBBBFF0A38EB4");  // U+FEFF U+233B4, RFC 3629, section 7
  Outcome get;
  Get(script, kBlobText, get);
  ASSERT_EQ(S_OK, get.hr);
  EXPECT_TRUE(std::wstring(L"\uFEFF\U000233B4") == Wide(V_BSTR(&get.result)));

  SetHex(script, L"41C080");
  Outcome bad;
  Get(script, kBlobText, bad);
  ExpectFailure(bad, E_FAIL, "Invalid UTF-8 text at byte 2");
  EXPECT_EQ(VT_EMPTY, V_VT(&bad.result));

  Outcome lone;
  Put(script, kBlobText, Str(std::wstring{L'x', static_cast<wchar_t>(0xDC00)}), lone);
  ExpectFailure(lone, E_INVALIDARG, "Invalid character in text at position 2");
  EXPECT_EQ("41C080", HexOf(script));
}

TEST_F(BlobScripting, SizeIsReadOnly) {
  SetHex(script, L"010203");
  Outcome get, put;
  Get(script, kBlobSize, get);
  EXPECT_EQ(S_OK, get.hr);
  EXPECT_EQ(VT_I4, V_VT(&get.result));
  EXPECT_EQ(3, V_I4(&get.result));
  Put(script, kBlobSize, I2(5), put);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, put.hr);
}

TEST_F(BlobScripting, BytesGivesAnArrayOfBytes) {
  SetHex(script, L"00FF10");
  Outcome get;
  Get(script, kBlobBytes, get);
  ASSERT_EQ(S_OK, get.hr);
  ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&get.result));
  SAFEARRAY* array = V_ARRAY(&get.result);
  EXPECT_EQ(1u, SafeArrayGetDim(array));
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(0, lower);
  EXPECT_EQ(2, upper);
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0xFF, 0x10}), BytesOf(array));

  SetHex(script, L"");
  Outcome empty;
  Get(script, kBlobBytes, empty);
  ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&empty.result));
  SafeArrayGetUBound(V_ARRAY(&empty.result), 1, &upper);
  EXPECT_EQ(-1, upper);  // VBScript's UBound of an empty array
}

TEST_F(BlobScripting, BytesTakesArraysInEveryFormScriptsPass) {
  // By value (ADODB.Stream.Read), by reference, inside a by-reference variant
  // (VBScript passing a variable), with a lower bound other than 0.
  {
    Outcome out;
    Put(script, kBlobBytes, Array(ByteArray({1, 2, 3})), out);
    EXPECT_EQ(S_OK, out.hr);
    EXPECT_EQ("010203", HexOf(script));
  }
  {
    SAFEARRAY* array = ByteArray({4, 5}, 1);
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&ref) = &array;
    Outcome out;
    Put(script, kBlobBytes, ref, out);
    EXPECT_EQ(S_OK, out.hr);
    EXPECT_EQ("0405", HexOf(script));
    EXPECT_EQ(0u, array->cLocks);  // the caller's array is left unlocked
    EXPECT_EQ(S_OK, SafeArrayDestroy(array));
  }
  {
    VARIANT inner = Array(ByteArray({6}));
    Outcome out;
    Put(script, kBlobBytes, ByRef(&inner), out);
    EXPECT_EQ(S_OK, out.hr);
    EXPECT_EQ("06", HexOf(script));
    VariantClear(&inner);
  }
  {
    // Lower bounds near the ends of LONG: lower + count - 1 wraps, every byte still counts.
    for (const LONG lower : {LONG{0x7FFFFFFF}, LONG{0x7FFFFFFE}, LONG{-0x7FFFFFFF - 1}}) {
      SCOPED_TRACE(lower);
      Outcome out;
      Put(script, kBlobBytes, Array(ByteArray({7, 8, 9}, lower)), out);
      EXPECT_EQ(S_OK, out.hr);
      EXPECT_EQ("070809", HexOf(script));
    }
  }
  {
    VARIANT null;
    VariantInit(&null);
    V_VT(&null) = VT_NULL;  // what ADODB.Stream.Read gives at the end of a stream
    Outcome out;
    Put(script, kBlobBytes, null, out);
    EXPECT_EQ(S_OK, out.hr);
    EXPECT_EQ("", HexOf(script));
  }
}

TEST_F(BlobScripting, BytesRefusesWhatIsNoArrayOfBytes) {
  SetHex(script, L"AA");
  Outcome text;
  Put(script, kBlobBytes, Str(L"AB"), text);
  ExpectFailure(text, DISP_E_TYPEMISMATCH, "Bytes takes an array of bytes (VT_ARRAY|VT_UI1)");

  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  Outcome square;
  Put(script, kBlobBytes, Array(SafeArrayCreate(VT_UI1, 2, bounds)), square);
  ExpectFailure(square, DISP_E_TYPEMISMATCH, "Bytes takes a one-dimensional array of bytes");

  VARIANT variants;  // a VBScript array: VT_ARRAY|VT_VARIANT
  VariantInit(&variants);
  V_VT(&variants) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&variants) = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  Outcome vbArray;
  Put(script, kBlobBytes, variants, vbArray);
  ExpectFailure(vbArray, DISP_E_TYPEMISMATCH, "Bytes takes an array of bytes (VT_ARRAY|VT_UI1)");
  EXPECT_EQ("AA", HexOf(script));
}

TEST_F(BlobScripting, ClearEmptiesTheBlob) {
  SetHex(script, L"0102");
  Outcome statement, expression;
  Call(script, kBlobClear, DISPATCH_METHOD, {}, false, false, statement);  // `blob.Clear`
  EXPECT_EQ(S_OK, statement.hr);
  EXPECT_EQ("", HexOf(script));
  Call(script, kBlobClear, DISPATCH_METHOD, {I2(1)}, false, false, expression);
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, expression.hr);
}

TEST_F(BlobScripting, FilesRoundTrip) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "orvoblob_test.bin";
  SetHex(script, L"00010D0A1AFF");
  Outcome save;
  VARIANT name = Str(path.wstring());
  Call(script, kBlobSaveToFile, DISPATCH_METHOD, {ByRef(&name)}, false, false, save);
  ASSERT_EQ(S_OK, save.hr) << Narrow(save.excep.bstrDescription);
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  file.close();
  EXPECT_EQ((std::vector<char>{0x00, 0x01, 0x0D, 0x0A, 0x1A, static_cast<char>(0xFF)}), written);

  IOrvoBlob* other = NewBlob();
  IDispatch* otherScript = nullptr;
  ASSERT_EQ(S_OK, other->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&otherScript)));
  Outcome load;
  Call(otherScript, kBlobLoadFromFile, DISPATCH_METHOD, {ByRef(&name)}, false, false, load);
  EXPECT_EQ(S_OK, load.hr) << Narrow(load.excep.bstrDescription);
  EXPECT_EQ("00010D0A1AFF", HexOf(otherScript));
  otherScript->Release();
  other->Release();
  VariantClear(&name);
  std::filesystem::remove(path);

  Outcome missing;
  Call(script, kBlobLoadFromFile, DISPATCH_METHOD, {Str(path.wstring())}, false, false, missing);
  ExpectFailure(missing, E_FAIL, "Unable to open the file for reading: " + path.string());
  EXPECT_EQ("00010D0A1AFF", HexOf(script));
  Outcome nowhere;
  Call(script, kBlobSaveToFile, DISPATCH_METHOD, {Str((path / "no" / "such").wstring())}, false, false, nowhere);
  ExpectFailure(nowhere, E_FAIL, "Unable to open the file for writing: " + (path / "no" / "such").string());
}

}  // namespace
