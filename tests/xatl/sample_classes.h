// Small scripting classes that exercise the COM frame: every parameter and
// result type the frame binds, properties holding numbers and objects,
// failures with and without error information, and thrown exceptions.
#pragma once

#include <string>

#include "xatlcom/comobject.h"
#include "xatlcom/dispatch.h"
#include "xatlcom/error.h"
#include "xatlcom/platform.h"

inline constexpr CLSID CLSID_SampleCalc = {0x1CA35769, 0xD171, 0x4B99, {0x80, 0x5B, 0x0F, 0x28, 0x7F, 0x3A, 0x47, 0x72}};
inline constexpr CLSID CLSID_SampleOther = {0x5660096E, 0x8C93, 0x45A8, {0xA2, 0xAE, 0x95, 0x62, 0xB6, 0xA3, 0xF6, 0xEE}};
inline constexpr CLSID CLSID_SampleBad = {0xB193226D, 0xBAD1, 0x4992, {0xAD, 0xA0, 0x2C, 0xC6, 0x55, 0x17, 0x05, 0xA7}};
inline constexpr IID IID_ISample = {0xF89BBC75, 0xEA3F, 0x44A5, {0x85, 0x2B, 0x97, 0x00, 0x0B, 0x5A, 0x1B, 0xF0}};
inline constexpr IID IID_ISampleOther = {0xF89BBC75, 0xEA3F, 0x44A5, {0x85, 0x2B, 0x97, 0x00, 0x0B, 0x5A, 0x1B, 0xF1}};

// Member numbers of the sample table.
enum SampleMember : DISPID {
  kOnStartPage = 1,
  kOnEndPage,
  kTwice,     // Twice(VT_I4) -> VT_I4
  kMode,      // property VT_I4
  kChild,     // property VT_DISPATCH; reading it without a child fails
  kFail,      // Fail(VT_I4 code): fails with that code ("Sample failure" unless E_UNEXPECTED)
  kDigits,    // Digits(VT_I4 a, b, c) -> a*100 + b*10 + c
  kChecksum,  // Checksum() -> VT_UI4 0xCBF43926
  kEcho,      // Echo(VT_DISPATCH) -> VT_DISPATCH, the same object
  kTouch,     // Touch(): no parameters, no result
  kRaise,     // Raise(VT_I4 kind): throws 1 an HRESULT, 2 another exception, 3 a KorDispatchError(1001)
};

struct ISample : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Twice(LONG value, LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Mode(LONG* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Mode(LONG mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Child(IDispatch** child) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Child(IDispatch* child) = 0;
  virtual HRESULT STDMETHODCALLTYPE Fail(LONG code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Digits(LONG a, LONG b, LONG c, LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Checksum(ULONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Echo(IDispatch* in, IDispatch** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE Touch() = 0;
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~ISample() = default;
};

class SampleCalc : public orvo::DispatchImpl<ISample> {
 public:
  static constexpr const CLSID* kClassId = &CLSID_SampleCalc;
  static constexpr const char* kProgId = "Orvo.SampleCalc.1";
  static constexpr const char* kVersionIndependentProgId = "Orvo.SampleCalc";
  static const orvo::InterfaceMapEntry kInterfaceMap[];

  SampleCalc() noexcept = default;
  ~SampleCalc() override;

  HRESULT STDMETHODCALLTYPE Twice(LONG value, LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_Mode(LONG* mode) override;
  HRESULT STDMETHODCALLTYPE put_Mode(LONG mode) override;
  HRESULT STDMETHODCALLTYPE get_Child(IDispatch** child) override;
  HRESULT STDMETHODCALLTYPE put_Child(IDispatch* child) override;
  HRESULT STDMETHODCALLTYPE Fail(LONG code) override;
  HRESULT STDMETHODCALLTYPE Digits(LONG a, LONG b, LONG c, LONG* result) override;
  HRESULT STDMETHODCALLTYPE Checksum(ULONG* result) override;
  HRESULT STDMETHODCALLTYPE Echo(IDispatch* in, IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE Touch() override;
  const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() override;

  // What the object was asked to do, one entry per call: "Twice(3)",
  // "Mode.put(5)", "Mode.get", "Touch", ...
  std::string log;
  LONG mode = 0;
  IDispatch* child = nullptr;
};

struct ISampleOther : IDispatch {
  virtual const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() = 0;

 protected:
  ~ISampleOther() = default;
};

// A class with the page hooks only; its object counts its destructions.
class SampleOther : public orvo::DispatchImpl<ISampleOther> {
 public:
  static constexpr const CLSID* kClassId = &CLSID_SampleOther;
  static constexpr const char* kProgId = "Orvo.SampleOther.1";
  static constexpr const char* kVersionIndependentProgId = "Orvo.SampleOther";
  static const orvo::InterfaceMapEntry kInterfaceMap[];
  static int destroyed;

  SampleOther() noexcept = default;
  ~SampleOther() override { ++destroyed; }
  const orvo::MemberTable* STDMETHODCALLTYPE GetMemberTable() override;
};

// A class whose ProgID the registry refuses (a key path may not begin with a
// backslash).
class SampleBad : public SampleOther {
 public:
  static constexpr const CLSID* kClassId = &CLSID_SampleBad;
  static constexpr const char* kProgId = "\\Orvo.SampleBad.1";
  static constexpr const char* kVersionIndependentProgId = "\\Orvo.SampleBad";
};

// The object maps: {SampleCalc, SampleOther} and {SampleBad, SampleCalc, SampleOther}.
orvo::ObjectMapEntry* SampleObjectMap();
orvo::ObjectMapEntry* SampleObjectMapWithBadFirst();
