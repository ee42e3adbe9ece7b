// The method frame: how a Blob-handling member of a scripting class obtains,
// locks, uses and releases its Blobs, and the one place where exceptions of
// the cipher core, the framing and RSA become HRESULTs.
//
// Order of the Blob calls on every way out:
//  1. the out parameter is set to null;
//  2. each input is queried for IOrvoBlob, in argument order; a null argument
//     or a failed query (a Blob from another apartment arrives as a proxy
//     without IOrvoBlob) reports "Internal error: can't get source OrvoBlob COM
//     interface" with E_FAIL and the class's interface IID;
//  3. the result Blob is created (CoCreateInstance); a failure returns its code;
//  4. Lock on each input, then on the result;
//  5. GetBuffer on each input, then on the result; a failure unlocks every
//     Blob, releases them and returns its code;
//  6. the protected step;
//  7. Unlock on each input, then on the result;
//  8. the result is queried for IDispatch into the out parameter;
//  9. the result is released, then the inputs in reverse order.
// An alarm in step 6 unlocks, reports the alarm's text (at most 255
// characters) with E_FAIL and IID_NULL, releases and returns E_FAIL. Memory
// running out (std::bad_alloc), or a result too large to hold (a Blob past
// 4 GiB - 1 bytes; std::length_error), unlocks, releases and returns
// E_OUTOFMEMORY with no text, under either policy. Any other
// exception unlocks and releases; with CatchPolicy::kAll the member returns
// E_UNEXPECTED with no text, with kAlarmsOnly it passes on to the dispatcher
// (which reports "Unhandled exception"). A failure without a report of its own
// clears the thread's error information, so that no stale text is attached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <stdexcept>

#include "base/alarm.h"
#include "base/xblob.h"
#include "orvoblob/blob_interface.h"
#include "xatlcom/error.h"
#include "xatlcom/platform.h"

namespace orvo {

inline constexpr const char kNoBlobInterface[] = "Internal error: can't get source OrvoBlob COM interface";
// The class context of result Blobs: in-process server and handler, local server.
inline constexpr DWORD kBlobClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
static_assert(kBlobClassContext == 7);

enum class CatchPolicy { kAll, kAlarmsOnly };

// Who reports: the class's CLSID and interface IID, and what it catches.
struct FrameOwner {
  const CLSID* clsid;
  const IID* iid;
  CatchPolicy policy;
};

// Returns `hr` for a failure that carries no error information of its own.
HRESULT FailWithoutReport(HRESULT hr) noexcept;
// Reports an alarm's text as the method frame does; returns E_FAIL.
HRESULT ReportAlarm(const FrameOwner& owner, const XAlarm& alarm) noexcept;
// Replaces `target`'s bytes with `bytes` (size 0, then Insert at 0).
void StoreResult(XBlob& target, const XBlob& bytes);
// Removes `count` bytes at `position` (position + count <= size); later bytes move down.
void RemoveBytes(XBlob& blob, uint32_t position, uint32_t count) noexcept;

// The Blobs one call holds.
class FrameBlobs {
 public:
  static constexpr std::size_t kMaxInputs = 2;

  FrameBlobs() = default;
  FrameBlobs(const FrameBlobs&) = delete;
  FrameBlobs& operator=(const FrameBlobs&) = delete;
  ~FrameBlobs() { Release(); }

  // Step 2 for one argument; false when it is not a Blob.
  bool QueryInput(IDispatch* argument) noexcept;
  // Step 3.
  HRESULT CreateResult() noexcept;
  // Steps 4 and 5.
  HRESULT LockAndGetBuffers() noexcept;
  // Step 7 (once; later calls do nothing).
  void Unlock() noexcept;
  // Step 8.
  HRESULT HandOver(IDispatch** out) noexcept;
  // Step 9 (once).
  void Release() noexcept;

  XBlob* input[kMaxInputs] = {};
  XBlob* result = nullptr;

 private:
  IOrvoBlob* inputBlob_[kMaxInputs] = {};
  IOrvoBlob* resultBlob_ = nullptr;
  std::size_t inputs_ = 0;
  bool locked_ = false;
};

// Runs one member through the frame. `inputs` are the Blob arguments in
// argument order; `out` is the out parameter of a member with a result Blob,
// null for members without one. `step(blobs)` is the protected step: it reads
// blobs.input[i] and writes blobs.result, and returns S_OK or a failure code
// (such as E_INVALIDARG) that leaves everything unchanged.
template <class Step>
HRESULT RunMethodFrame(const FrameOwner& owner, std::initializer_list<IDispatch*> inputs, IDispatch** out,
                       Step&& step) {
  if (out != nullptr) *out = nullptr;
  FrameBlobs blobs;
  for (IDispatch* argument : inputs) {
    if (!blobs.QueryInput(argument)) {
      blobs.Release();
      return ReportError(*owner.clsid, kNoBlobInterface, E_FAIL, *owner.iid);
    }
  }
  if (out != nullptr) {
    const HRESULT hr = blobs.CreateResult();
    if (FAILED(hr)) return FailWithoutReport(hr);
  }
  HRESULT hr = blobs.LockAndGetBuffers();
  if (FAILED(hr)) return FailWithoutReport(hr);
  try {
    hr = step(blobs);
  } catch (const XAlarm& alarm) {
    blobs.Unlock();
    const HRESULT reported = ReportAlarm(owner, alarm);
    blobs.Release();
    return reported;
  } catch (const std::bad_alloc&) {
    blobs.Unlock();
    blobs.Release();
    return FailWithoutReport(E_OUTOFMEMORY);
  } catch (const std::length_error&) {
    // A result too large for a Blob (more than 4 GiB - 1 bytes) or a container.
    blobs.Unlock();
    blobs.Release();
    return FailWithoutReport(E_OUTOFMEMORY);
  } catch (...) {
    blobs.Unlock();
    blobs.Release();
    if (owner.policy == CatchPolicy::kAlarmsOnly) throw;
    return FailWithoutReport(E_UNEXPECTED);
  }
  blobs.Unlock();
  if (FAILED(hr)) return FailWithoutReport(hr);
  if (out != nullptr) hr = blobs.HandOver(out);
  blobs.Release();
  return FAILED(hr) ? FailWithoutReport(hr) : S_OK;
}

}  // namespace orvo
