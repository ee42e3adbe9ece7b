# Warnings for every target of the project; errors where ORVO_WERROR is on (CI).
function(orvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                         -Wnon-virtual-dtor -Woverloaded-virtual)
  if(ORVO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Windows executables and DLLs carry their runtime with them, so that they import
# only system DLLs (KERNEL32, ADVAPI32, msvcrt, ole32, OLEAUT32).
function(orvo_static_runtime target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# Adds every .cpp of the calling folder to `target`; files ending in _win.cpp or
# _posix.cpp only to the build of that platform. Instruction-set specific code
# (AES-NI, VAES, SHA extensions, IFMA) selects its instructions with target
# attributes rather than flags; a file that needs a flag of its own sets it
# where its folder builds it (rsa/CMakeLists.txt: the IFMA kernel under mingw-w64).
function(orvo_folder_sources target)
  orvo_folder_source_list(sources)  # cmake/OrvoLayers.cmake
  target_sources(${target} PRIVATE ${sources})
endfunction()
