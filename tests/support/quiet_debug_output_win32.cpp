// 32-bit Windows test programs only. GoogleTest echoes every failure and skip
// to a debugger with OutputDebugStringA, which raises DBG_PRINTEXCEPTION_C;
// 32-bit Wine run by qemu-i386 (scripts/wine-run32) cannot dispatch that
// exception ("Got unexpected trap -1": qemu gives Wine's signal handler no trap
// number), and the program dies at its first skipped or failed test. This
// object takes the place of the import, so the echo does nothing; the message
// is on stdout either way.
#include <windows.h>

namespace {
void WINAPI NoDebuggerEcho(LPCSTR) {}
}  // namespace

extern "C" {
// The import's pointer, under the name the linker gives it; with this one
// defined, the import library's is never pulled in.
void(WINAPI* orvo_output_debug_string_a_import)(LPCSTR) __asm__("__imp__OutputDebugStringA@4") = NoDebuggerEcho;
}
