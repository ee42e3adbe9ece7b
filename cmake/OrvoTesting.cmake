# GoogleTest from Debian's sources (/usr/src/googletest), built the same way in
# the native and in the cross build; nothing is downloaded.
set(ORVO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ORVO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# orvo_add_test(NAME SOURCES ... [LIBS ...])
# One executable per area, registered as one ctest entry; in a cross build
# ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine for Windows,
# qemu-i386-static for the 32-bit Linux build).
function(orvo_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(CMAKE_CROSSCOMPILING AND WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/quiet_debug_output_win32.cpp)
  endif()
  target_link_libraries(${name} PRIVATE orvo_test_support ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  orvo_test_hooks(${name})
  orvo_warnings(${name})
  orvo_static_runtime(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEPREFIX=${ORVO_WINEPREFIX}")
  endif()
endfunction()

# Tests of the cross build share one private Wine prefix inside the build folder,
# of 32-bit Wine for the 32-bit build (scripts/wine-env: ORVO_WINE_ARCH).
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(ORVO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ORVO_WINE_ARCH x86)
  else()
    set(ORVO_WINE_ARCH x64)
  endif()
endif()
