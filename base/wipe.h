// Wiping secrets: key bytes, schedules, private numbers and seeds are cleared
// when their owner dies, with stores the compiler may not remove.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo {

void SecureWipe(void* p, std::size_t n) noexcept;

// Wipes the stack just below the caller's frame (kDeadStackWipe bytes): what a
// call the caller has just made left there, such as round keys the compiler
// spilled to slots of its own. For functions whose frames are known to be
// smaller.
inline constexpr std::size_t kDeadStackWipe = 1024;
void WipeDeadStack() noexcept;
// The same for `bytes` bytes, for callers that measured what their calls used
// (StackPointer below).
void WipeDeadStack(std::size_t bytes) noexcept;

// The stack pointer where this is inlined: a callee that returns it tells its
// caller how deep its frame went (x86; elsewhere 0, "not known").
__attribute__((always_inline)) inline std::uintptr_t StackPointer() noexcept {
  std::uintptr_t sp = 0;
#if defined(__x86_64__)
  __asm__ __volatile__("mov %%rsp, %0" : "=r"(sp));
#elif defined(__i386__)
  __asm__ __volatile__("mov %%esp, %0" : "=r"(sp));
#endif
  return sp;
}

// Wipes what a call left on the stack below the caller's frame, given the
// caller's StackPointer() before the call and the callee's at its deepest
// (its return value): that span, the red zone a leaf function may use below
// its stack pointer where the ABI has one, and some slack. Inlined, so that the wiped region
// is allocated in the caller's own frame and starts right at its stack
// pointer, covering the call's arguments, return address and saved registers
// too. Falls back to kDeadStackWipe where the span is not known.
__attribute__((always_inline)) inline void WipeDeadStackDownTo(std::uintptr_t callerSp,
                                                               std::uintptr_t calleeSp) noexcept {
#if defined(__x86_64__) && !defined(_WIN32)
  constexpr std::size_t kRedZoneAndSlack = 128 + 32;  // the System V ABI's red zone
#else
  // No red zone on Windows x64 and on x86, but on Windows x64 the region
  // allocated below starts above the 32 bytes of home space the ABI keeps at
  // the bottom of the stack for calls.
  constexpr std::size_t kRedZoneAndSlack = 64 + 32;
#endif
  if (callerSp == 0 || calleeSp == 0 || calleeSp > callerSp || callerSp - calleeSp > (std::size_t{1} << 16)) {
    WipeDeadStack();
    return;
  }
  const std::size_t bytes = static_cast<std::size_t>(callerSp - calleeSp) + kRedZoneAndSlack;
  SecureWipe(__builtin_alloca(bytes), bytes);
}

}  // namespace orvo
