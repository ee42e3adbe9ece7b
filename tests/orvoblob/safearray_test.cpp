// The SAFEARRAY calls behind the Blob's Bytes. Natively they check the
// stand-in layer; under Wine the same cases run against the real oleaut32,
// so the stand-in is held to the Windows contracts.
#include <gtest/gtest.h>

#include "xatlcom/platform.h"

namespace {

TEST(SafeArray, VectorOfBytes) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 5, 3);
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(1u, SafeArrayGetDim(array));
  EXPECT_EQ(1u, SafeArrayGetElemsize(array));
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(S_OK, SafeArrayGetVartype(array, &vt));
  EXPECT_EQ(VT_UI1, vt);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(S_OK, SafeArrayGetLBound(array, 1, &lower));
  EXPECT_EQ(S_OK, SafeArrayGetUBound(array, 1, &upper));
  EXPECT_EQ(5, lower);
  EXPECT_EQ(7, upper);
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetLBound(array, 0, &lower));
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(array, 2, &upper));

  void* data = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAccessData(array, &data));
  const auto* bytes = static_cast<const uint8_t*>(data);
  EXPECT_EQ(0, bytes[0] | bytes[1] | bytes[2]);  // new elements are zero
  EXPECT_EQ(1u, array->cLocks);
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array));
  EXPECT_EQ(S_OK, SafeArrayUnaccessData(array));
  EXPECT_EQ(E_UNEXPECTED, SafeArrayUnaccessData(array));
  EXPECT_EQ(S_OK, SafeArrayDestroy(array));
  EXPECT_EQ(S_OK, SafeArrayDestroy(nullptr));
}

TEST(SafeArray, EmptyVectorHasUpperBoundBelowLower) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(nullptr, array);
  LONG upper = 0;
  EXPECT_EQ(S_OK, SafeArrayGetUBound(array, 1, &upper));
  EXPECT_EQ(-1, upper);
  EXPECT_EQ(S_OK, SafeArrayDestroy(array));
}

// Dimension 1 is the first bound passed to SafeArrayCreate; the descriptor
// keeps the bounds last dimension first.
TEST(SafeArray, DimensionsCountFromTheFirstBoundGiven) {
  SAFEARRAYBOUND bounds[2] = {{2, 10}, {3, 20}};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 2, bounds);
  ASSERT_NE(nullptr, array);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(10, lower);
  EXPECT_EQ(11, upper);
  SafeArrayGetLBound(array, 2, &lower);
  EXPECT_EQ(20, lower);
  EXPECT_EQ(20, array->rgsabound[0].lLbound);
  EXPECT_EQ(S_OK, SafeArrayDestroy(array));
}

TEST(SafeArray, VariantsCopyAndClearArrays) {
  VARIANT source;
  VariantInit(&source);
  V_VT(&source) = VT_ARRAY | VT_UI1;
  V_ARRAY(&source) = SafeArrayCreateVector(VT_UI1, 0, 2);
  void* data = nullptr;
  SafeArrayAccessData(V_ARRAY(&source), &data);
  static_cast<uint8_t*>(data)[1] = 0x5A;
  SafeArrayUnaccessData(V_ARRAY(&source));

  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_EQ(VT_ARRAY | VT_UI1, V_VT(&copy));
  ASSERT_NE(V_ARRAY(&source), V_ARRAY(&copy));  // a deep copy
  SafeArrayAccessData(V_ARRAY(&copy), &data);
  EXPECT_EQ(0x5A, static_cast<uint8_t*>(data)[1]);
  SafeArrayUnaccessData(V_ARRAY(&copy));

  SafeArrayAccessData(V_ARRAY(&copy), &data);
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, VariantClear(&copy));  // a locked array stays
  EXPECT_EQ(VT_ARRAY | VT_UI1, V_VT(&copy));
  SafeArrayUnaccessData(V_ARRAY(&copy));
  EXPECT_EQ(S_OK, VariantClear(&copy));
  EXPECT_EQ(VT_EMPTY, V_VT(&copy));
  EXPECT_EQ(S_OK, VariantClear(&source));

  VARIANT strings;  // elements that own something are released with the array
  VariantInit(&strings);
  V_VT(&strings) = VT_ARRAY | VT_BSTR;
  V_ARRAY(&strings) = SafeArrayCreateVector(VT_BSTR, 0, 1);
  SafeArrayAccessData(V_ARRAY(&strings), &data);
  static_cast<BSTR*>(data)[0] = SysAllocString(L"text");
  SafeArrayUnaccessData(V_ARRAY(&strings));
  EXPECT_EQ(S_OK, VariantClear(&strings));
}

}  // namespace
