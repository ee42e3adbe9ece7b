// The one place that chooses the platform interfaces of the COM frame: the
// Windows headers in the Windows build, the native stand-in layer elsewhere.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>
// COM interfaces are released, never deleted through: the system headers
// declare them without virtual destructors, by design.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#else
#include "standin/windows_standin.h"
#endif
