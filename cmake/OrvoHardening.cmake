# Hardening of every build, as Debian builds its packages (dpkg-buildflags
# with hardening=+all), checked on what ships by tests/hardening/.
#
# ELF (native builds): stack protector for functions with arrays or address-
# taken locals; glibc's checked string and memory calls (_FORTIFY_SOURCE=2,
# which needs optimisation: the optimised configurations; the sanitizer
# presets check memory themselves); read-only relocations bound at load
# (RELRO, BIND_NOW), a stack that is not executable; position-independent
# code throughout (CMAKE_POSITION_INDEPENDENT_CODE), executables linked as PIE.
#
# PE (the mingw-w64 DLLs and programs): ASLR (--dynamicbase, which keeps the
# relocations it needs), DEP (--nxcompat) and, on x64, high-entropy addresses
# (--high-entropy-va). No stack protector there: mingw-w64's needs libssp,
# which the DLLs, importing only system DLLs, do not carry.
if(NOT WIN32)
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
else()
  add_link_options(LINKER:--dynamicbase LINKER:--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(LINKER:--high-entropy-va)
  endif()
endif()
