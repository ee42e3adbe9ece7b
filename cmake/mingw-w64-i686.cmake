# Cross build for 32-bit Windows with Debian's mingw-w64 (posix-thread variant:
# GoogleTest needs std::mutex). Test executables run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVO_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${ORVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ORVO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run32)

# The .def files name the COM exports undecorated; on 32-bit x86 they are
# __stdcall (_DllGetClassObject@12 ...), which the linker matches silently.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--enable-stdcall-fixup")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--enable-stdcall-fixup")
