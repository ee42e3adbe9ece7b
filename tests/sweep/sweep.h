// The allocation-failure sweep: a call run with its 1st, 2nd, 3rd, ...
// allocation failing (tests/sweep/failing_allocator.h) until a run in which
// no planted failure is reached, each run checked against a reference run
// without failures.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/sweep/failing_allocator.h"
#include "xatlcom/platform.h"

namespace sweep {

// The sweep's size, printed at the end of the program: calls and runs (N values).
struct Size {
  long calls = 0;
  long runs = 0;
};
Size& Totals();

// Whether a call's outcome is the exhaustion failure: E_OUTOFMEMORY itself or
// as the scode of a DISP_E_EXCEPTION.
inline bool IsOutOfMemory(HRESULT hr, SCODE scode) {
  return hr == E_OUTOFMEMORY || (hr == DISP_E_EXCEPTION && scode == E_OUTOFMEMORY);
}

// Whether an outcome repeats the failure of a run without failures (`hr`,
// `scode`): its message may be lost to the exhaustion, and when the
// dispatcher cannot read the error texts back the code is E_UNEXPECTED.
inline bool IsSameFailure(HRESULT hr, SCODE scode, HRESULT refHr, SCODE refScode) {
  return FAILED(refHr) && hr == refHr && (scode == refScode || (hr == DISP_E_EXCEPTION && scode == E_UNEXPECTED));
}

// The per-thread error object of the last failure holds blocks: dropped before
// blocks are counted.
inline void DropErrorInfo() { SetErrorInfo(0, nullptr); }

// For calls through the script-host helpers (tests/support/dispatch_calls.h):
// plants the failure of allocation n inside the next IDispatch::Invoke alone,
// so that the helpers' own allocations around it never fail.
void PlantInNextInvoke(long n);
// Whether the failure planted so happened; ends the plant.
bool Harvest();

// Runs `attempt(n)` for n = 1, 2, ... while the planted failure is reached; the
// attempt plants it with FailAllocation(n) around the call under test and
// returns what FailAllocation(0) answers. Counts the sweep's size.
inline void Sweep(const std::string& name, const std::function<bool(long n)>& attempt) {
  constexpr long kMaxRuns = 200000;
  long n = 1;
  for (;; ++n) {
    SCOPED_TRACE(name + ", allocation " + std::to_string(n) + " failing");
    if (!attempt(n)) break;
    if (::testing::Test::HasFatalFailure() || n == kMaxRuns) {
      ADD_FAILURE() << name << ": no end at " << n;
      break;
    }
  }
  ++Totals().calls;
  Totals().runs += n;
}

}  // namespace sweep
