// CryptoMisc through IDispatch: digests and checksum against published and
// third-party values, random bytes, and the members that insert and extract
// numbers and records in place, with their position rules.
#include <gtest/gtest.h>

#include <string>

#include "tests/objects/object_test_support.h"
#include "tests/support/vec_file.h"

namespace orvotest {
namespace {

const char kNotABlob[] = "Internal error: can't get source OrvoBlob COM interface";
const char kCorrupted[] = "Crypto System: Data is corrupted - XBlob";

// The pattern inputs of pattern_digests.vec: byte i is (i * 7 + 3) mod 251.
Bytes Pattern(size_t n) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
  return out;
}

class MiscTest : public ObjectsTest {
 protected:
  void SetUp() override {
    ObjectsTest::SetUp();
    misc = Create(CLSID_CryptoMisc);
  }
  IDispatch* misc = nullptr;
};

TEST_F(MiscTest, DigestsAndChecksumOfPatternInputs) {
  for (const auto& r : orvo::test::ReadVecFile("digest/pattern_digests.vec")) {
    const size_t n = r.Number("Len");
    if (n > 200 && n != 1000) continue;  // the short ones and one long one suffice here
    TestBlob* data = NewBlob(Pattern(n));
    EXPECT_EQ(r.Get("MD5"), HexOf(CallMethod(misc, "MD5", {Disp(data)}).BlobBytes())) << r.Where();
    EXPECT_EQ(r.Get("SHA1"), HexOf(CallMethod(misc, "SHA1", {Disp(data)}).BlobBytes())) << r.Where();
    Outcome crc = CallMethod(misc, "CRC32", {Disp(data)});
    ASSERT_EQ(VT_UI4, V_VT(&crc.result)) << r.Where();
    EXPECT_EQ(static_cast<ULONG>(r.Number("CRC32")), V_UI4(&crc.result)) << r.Where();
    EXPECT_EQ(HexOf(Pattern(n)), HexOf(data->Bytes()));
  }
}

TEST_F(MiscTest, PublishedDigestAndChecksumValues) {
  for (const auto& r : orvo::test::ReadVecFile("digest/md5_rfc1321.vec")) {
    const std::string& text = r.Get("Text");
    EXPECT_EQ(r.Get("MD5"), HexOf(CallMethod(misc, "MD5", {Disp(NewBlob(Bytes(text.begin(), text.end())))}).BlobBytes()))
        << r.Where();
  }
  for (const auto& r : orvo::test::ReadVecFile("digest/sha1_fips180_1.vec")) {
    if (r.Number("Repeat") != 1) continue;
    const std::string& text = r.Get("Text");
    EXPECT_EQ(r.Get("SHA1"), HexOf(CallMethod(misc, "SHA1", {Disp(NewBlob(Bytes(text.begin(), text.end())))}).BlobBytes()))
        << r.Where();
  }
  for (const auto& r : orvo::test::ReadVecFile("digest/crc32_catalogue.vec")) {
    const std::string& text = r.Get("Text");
    Outcome crc = CallMethod(misc, "CRC32", {Disp(NewBlob(Bytes(text.begin(), text.end())))});
    EXPECT_EQ(static_cast<ULONG>(r.Number("CRC32")), V_UI4(&crc.result)) << r.Where();
  }
}

TEST_F(MiscTest, RandomGivesTheCountAsked) {
  Outcome none = CallMethod(misc, "Random", {I2(0)});
  ASSERT_EQ(S_OK, none.hr);
  EXPECT_TRUE(none.BlobBytes().empty());
  Outcome some = CallMethod(misc, "Random", {Str(L"17")});  // a string argument is converted
  ASSERT_EQ(S_OK, some.hr);
  EXPECT_EQ(17u, some.BlobBytes().size());
  Outcome more = CallMethod(misc, "Random", {I4(17)});
  EXPECT_NE(HexOf(some.BlobBytes()), HexOf(more.BlobBytes()));
  // Negative counts are requests of more than 2 GiB: refused, not attempted.
  ExpectFailure(CallMethod(misc, "Random", {I4(-1)}), E_OUTOFMEMORY, nullptr, "-1");
  ExpectFailure(CallMethod(misc, "Random", {I4(static_cast<LONG>(0x80000000u))}), E_OUTOFMEMORY, nullptr, "2^31");
  Outcome text = CallMethod(misc, "Random", {Str(L"seventeen")});
  EXPECT_EQ(DISP_E_TYPEMISMATCH, text.hr);
  EXPECT_EQ(0u, text.argErr);
}

TEST_F(MiscTest, InsertAndExtractLong) {
  TestBlob* blob = NewBlob(Hex("0a0b"));
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertLongToBlob", {Disp(blob), I2(1), I4(0x01020304)}).hr);
  EXPECT_EQ("0a010203040b", HexOf(blob->Bytes()));
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertLongToBlob", {Disp(blob), I4(6), I4(-2)}).hr);  // at the end: appends
  EXPECT_EQ("0a010203040bfffffffe", HexOf(blob->Bytes()));

  EXPECT_EQ(-2, CallMethod(misc, "ExtractLongFromBlob", {Disp(blob), I4(6)}).Long());
  EXPECT_EQ(0x01020304, CallMethod(misc, "ExtractLongFromBlob", {Disp(blob), I4(1)}).Long());
  EXPECT_EQ("0a0b", HexOf(blob->Bytes()));

  TestBlob* empty = NewBlob();
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertLongToBlob", {Disp(empty), I4(0), I4(0x01020304)}).hr);
  EXPECT_EQ("01020304", HexOf(empty->Bytes()));
}

TEST_F(MiscTest, ExtractLongNearTheEndReadsOnlyTheBytesPresent) {
  struct Case {
    const char* bytes;
    LONG position;
    LONG value;
    const char* left;
  } cases[] = {
      {"0a0b", 0, 0x0A0B0000, ""},          // missing low-order bytes count as zero
      {"ff0a0b0c", 1, 0x0A0B0C00, "ff"},
      {"0a0b", 2, 0, "0a0b"},               // at the end: nothing to read or remove
      {"", 0, 0, ""},
  };
  for (const Case& c : cases) {
    TestBlob* blob = NewBlob(Hex(c.bytes));
    Outcome out = CallMethod(misc, "ExtractLongFromBlob", {Disp(blob), I4(c.position)});
    ASSERT_EQ(S_OK, out.hr) << c.bytes;
    EXPECT_EQ(c.value, out.Long()) << c.bytes;
    EXPECT_EQ(c.left, HexOf(blob->Bytes())) << c.bytes;
  }
}

TEST_F(MiscTest, InsertAndExtractRecords) {
  TestBlob* target = NewBlob();
  TestBlob* source = NewBlob(Hex("c1c2c3"));
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertBlobToBlob", {Disp(target), I4(0), Disp(source)}).hr);
  EXPECT_EQ("00000003c1c2c3", HexOf(target->Bytes()));
  EXPECT_EQ("c1c2c3", HexOf(source->Bytes()));
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertBlobToBlob", {Disp(target), I4(7), Disp(NewBlob())}).hr);
  EXPECT_EQ("00000003c1c2c300000000", HexOf(target->Bytes()));

  Outcome first = CallMethod(misc, "ExtractBlobFromBlob", {Disp(target), I4(0)});
  ASSERT_EQ(S_OK, first.hr);
  EXPECT_EQ("c1c2c3", HexOf(first.BlobBytes()));
  Outcome second = CallMethod(misc, "ExtractBlobFromBlob", {Disp(target), I4(0)});
  ASSERT_EQ(S_OK, second.hr);
  EXPECT_TRUE(second.BlobBytes().empty());
  EXPECT_TRUE(target->Bytes().empty());

  TestBlob* both = NewBlob(Hex("0a0b"));
  ASSERT_EQ(S_OK, CallStatement(misc, "InsertBlobToBlob", {Disp(both), I4(0), Disp(both)}).hr);
  EXPECT_EQ("000000020a0b0a0b", HexOf(both->Bytes()));
}

TEST_F(MiscTest, ExtractBlobOfABrokenRecordChangesNothing) {
  struct Case {
    const char* bytes;
    LONG position;
  } cases[] = {
      {"0a0b", 2},                  // at the end
      {"0a000000", 1},              // three bytes of length
      {"00000004c1c2c3", 0},        // a length beyond the bytes
      {"ff00000002c1", 1},
  };
  for (const Case& c : cases) {
    TestBlob* blob = NewBlob(Hex(c.bytes));
    Outcome out = CallMethod(misc, "ExtractBlobFromBlob", {Disp(blob), I4(c.position)});
    ExpectFailure(out, E_FAIL, kCorrupted, c.bytes);
    EXPECT_EQ(c.bytes, HexOf(blob->Bytes()));
  }
}

TEST_F(MiscTest, PositionsOutsideTheBlobChangeNothing) {
  const LONG positions[] = {-1, 3, 0x7FFFFFFF, static_cast<LONG>(0x80000000u)};
  for (LONG position : positions) {
    SCOPED_TRACE(position);
    TestBlob* blob = NewBlob(Hex("0a0b"));
    TestBlob* source = NewBlob(Hex("c1"));
    ExpectFailure(CallStatement(misc, "InsertLongToBlob", {Disp(blob), I4(position), I4(1)}), E_INVALIDARG, nullptr,
                  "InsertLongToBlob");
    ExpectFailure(CallMethod(misc, "ExtractLongFromBlob", {Disp(blob), I4(position)}), E_INVALIDARG, nullptr,
                  "ExtractLongFromBlob");
    ExpectFailure(CallStatement(misc, "InsertBlobToBlob", {Disp(blob), I4(position), Disp(source)}), E_INVALIDARG,
                  nullptr, "InsertBlobToBlob");
    ExpectFailure(CallMethod(misc, "ExtractBlobFromBlob", {Disp(blob), I4(position)}), E_INVALIDARG, nullptr,
                  "ExtractBlobFromBlob");
    EXPECT_EQ("0a0b", HexOf(blob->Bytes()));
    EXPECT_EQ("c1", HexOf(source->Bytes()));
  }
}

TEST_F(MiscTest, EveryBlobArgumentMustBeABlob) {
  TestBlob* proxy = NewBlob(Hex("01"), "P");
  proxy->refuseBlobInterface = true;
  TestBlob* blob = NewBlob(Hex("0a0b"));
  struct Case {
    const char* member;
    std::vector<VARIANT> args;
    bool result;
  } cases[] = {
      {"MD5", {Disp(proxy)}, true},
      {"SHA1", {Disp(nullptr)}, true},
      {"CRC32", {Disp(misc)}, true},
      {"InsertLongToBlob", {Disp(proxy), I4(0), I4(1)}, false},
      {"ExtractLongFromBlob", {Disp(proxy), I4(0)}, true},
      {"InsertBlobToBlob", {Disp(proxy), I4(0), Disp(blob)}, false},
      {"InsertBlobToBlob", {Disp(blob), I4(0), Disp(proxy)}, false},
      {"ExtractBlobFromBlob", {Disp(nullptr), I4(0)}, true},
  };
  for (const Case& c : cases) {
    Outcome out = c.result ? CallMethod(misc, c.member, c.args) : CallStatement(misc, c.member, c.args);
    ExpectFailure(out, E_FAIL, kNotABlob, c.member);
    EXPECT_EQ("Quelvar.OrvoCryptoMisc.1", out.Source()) << c.member;
  }
  EXPECT_EQ("0a0b", HexOf(blob->Bytes()));
  EXPECT_EQ(0, Ledger().created) << "no result Blob is made for a refused argument";
}

}  // namespace
}  // namespace orvotest
