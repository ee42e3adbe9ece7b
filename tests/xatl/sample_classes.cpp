#include "tests/xatl/sample_classes.h"

#include <stdexcept>

#include "xatlcom/page_hooks.h"

namespace {

// A function of the object, not a raw operation: what it throws reaches the
// dispatcher as it is.
void Raise(ISample*, LONG kind) {
  if (kind == 1) throw static_cast<HRESULT>(E_INVALIDARG);
  if (kind == 2) throw std::runtime_error("not a COM error");
  throw KorDispatchError(1001);
}

const orvo::MemberEntry kSampleRows[] = {
    orvo::OnStartPageRow<ISample>(),
    orvo::OnEndPageRow<ISample>(),
    orvo::Method<&ISample::Twice>("Twice"),
    orvo::Property<&ISample::get_Mode, &ISample::put_Mode>("Mode"),
    orvo::Property<&ISample::get_Child, &ISample::put_Child>("Child"),
    orvo::Method<&ISample::Fail>("Fail"),
    orvo::Method<&ISample::Digits>("Digits"),
    orvo::Method<&ISample::Checksum>("Checksum"),
    orvo::Method<&ISample::Echo>("Echo"),
    orvo::Method<&ISample::Touch>("Touch"),
    orvo::Method<&Raise>("Raise"),
};
const orvo::MemberTable kSampleTable = orvo::MakeMemberTable(&orvo::DispatchBaseTable, kSampleRows);

const orvo::MemberEntry kOtherRows[] = {
    orvo::OnStartPageRow<ISampleOther>(),
    orvo::OnEndPageRow<ISampleOther>(),
};
const orvo::MemberTable kOtherTable = orvo::MakeMemberTable(&orvo::DispatchBaseTable, kOtherRows);

}  // namespace

const orvo::InterfaceMapEntry SampleCalc::kInterfaceMap[] = {{&IID_ISample, 0}, {&IID_IDispatch, 0}, {nullptr, 0}};
const orvo::InterfaceMapEntry SampleOther::kInterfaceMap[] = {
    {&IID_ISampleOther, 0}, {&IID_IDispatch, 0}, {nullptr, 0}};
int SampleOther::destroyed = 0;

SampleCalc::~SampleCalc() {
  if (child != nullptr) child->Release();
}

HRESULT SampleCalc::Twice(LONG value, LONG* result) {
  log += "Twice(" + std::to_string(value) + ")";
  *result = 2 * value;
  return S_OK;
}
HRESULT SampleCalc::get_Mode(LONG* result) {
  log += "Mode.get";
  *result = mode;
  return S_OK;
}
HRESULT SampleCalc::put_Mode(LONG value) {
  log += "Mode.put(" + std::to_string(value) + ")";
  mode = value;
  return S_OK;
}
HRESULT SampleCalc::get_Child(IDispatch** result) {
  *result = nullptr;
  log += "Child.get";
  if (child == nullptr) return orvo::ReportError(CLSID_SampleCalc, "No child", E_FAIL, IID_ISample);
  child->AddRef();
  *result = child;
  return S_OK;
}
HRESULT SampleCalc::put_Child(IDispatch* value) {
  log += "Child.put";
  if (value != nullptr) value->AddRef();
  if (child != nullptr) child->Release();
  child = value;
  return S_OK;
}
HRESULT SampleCalc::Fail(LONG code) {
  log += "Fail";
  if (code == E_UNEXPECTED) return code;  // what a method returns after an unknown exception
  return orvo::ReportError(CLSID_SampleCalc, "Sample failure", code, IID_ISample);
}
HRESULT SampleCalc::Digits(LONG a, LONG b, LONG c, LONG* result) {
  log += "Digits";
  *result = a * 100 + b * 10 + c;
  return S_OK;
}
HRESULT SampleCalc::Checksum(ULONG* result) {
  log += "Checksum";
  *result = 0xCBF43926u;
  return S_OK;
}
HRESULT SampleCalc::Echo(IDispatch* in, IDispatch** out) {
  log += "Echo";
  if (in != nullptr) in->AddRef();
  *out = in;
  return S_OK;
}
HRESULT SampleCalc::Touch() {
  log += "Touch";
  return S_OK;
}
const orvo::MemberTable* SampleCalc::GetMemberTable() { return &kSampleTable; }
const orvo::MemberTable* SampleOther::GetMemberTable() { return &kOtherTable; }

orvo::ObjectMapEntry* SampleObjectMap() {
  static orvo::ObjectMapEntry map[] = {orvo::ObjectMapRow<SampleCalc>(), orvo::ObjectMapRow<SampleOther>(),
                                       orvo::ObjectMapEnd()};
  return map;
}

orvo::ObjectMapEntry* SampleObjectMapWithBadFirst() {
  static orvo::ObjectMapEntry map[] = {orvo::ObjectMapRow<SampleBad>(), orvo::ObjectMapRow<SampleCalc>(),
                                       orvo::ObjectMapRow<SampleOther>(), orvo::ObjectMapEnd()};
  return map;
}
