# Native 32-bit x86 Linux build (g++ -m32 from g++-multilib). This machine's
# kernel runs no 32-bit programs, so ctest runs the test executables under
# qemu-i386-static (qemu-user-static) through CMAKE_CROSSCOMPILING_EMULATOR.
# The build checks the code's 32-bit assumptions (size_t and long of 32 bits,
# no 128-bit integers) on the portable core, the stand-in and the objects.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

find_program(ORVO_QEMU_I386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVO_QEMU_I386})
