# The core's layers, each a static library, and their test variants.
#
# A few files of the core hold test hooks (the setters of base/test_hooks.h,
# digest/test_hooks.h and rsa/test_hooks.h, and the stand-in's allocation hook
# in the native XBlob allocator), compiled only where ORVO_TEST_HOOKS is 1.
# A layer with such files is built twice from one set of the other objects:
# `orvo_<layer>` without hooks, for everything that ships (the C library, the
# tool, the DLLs), and `orvo_<layer>_testing` with them. A program or module
# that needs the hooks (tests, fuzz targets, benchmarks) sets the target
# property ORVO_TEST_HOOKS (orvo_test_hooks(target)); every link between the
# layers, and orvocore, picks the variant by that property of the target being
# linked, so a program never holds both.

# Sets VAR to the .cpp files of the calling folder for this platform: every
# portable file, and of the _win.cpp / _posix.cpp files those of this platform.
function(orvo_folder_source_list var)
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(portable ${all})
  list(FILTER portable EXCLUDE REGEX "_(win|posix)\\.cpp$")
  set(platform ${all})
  if(WIN32)
    list(FILTER platform INCLUDE REGEX "_win\\.cpp$")
  else()
    list(FILTER platform INCLUDE REGEX "_posix\\.cpp$")
  endif()
  set(${var} ${portable} ${platform} PARENT_SCOPE)
endfunction()

# The layer library `layer` as the target being linked needs it: its test
# variant where that target has ORVO_TEST_HOOKS set and the layer has one.
function(orvo_layer_link var layer)
  if(TARGET ${layer}_testing)
    set(${var} "$<IF:$<BOOL:$<TARGET_PROPERTY:ORVO_TEST_HOOKS>>,${layer}_testing,${layer}>" PARENT_SCOPE)
  else()
    set(${var} ${layer} PARENT_SCOPE)
  endif()
endfunction()

# orvo_core_layer(NAME orvo_<layer> [HOOKED file...] [LAYERS lower layer...] [LIBS system library...])
# The library of the calling folder's sources. HOOKED names the files that
# hold test hooks; with any, the test variant NAME_testing is made too (built
# only for the targets that link it).
function(orvo_core_layer)
  cmake_parse_arguments(ARG "" "NAME" "HOOKED;LAYERS;LIBS" ${ARGN})
  set(name ${ARG_NAME})
  orvo_folder_source_list(sources)
  set(hooked ${ARG_HOOKED})
  list(TRANSFORM hooked PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  set(links ${ARG_LIBS})
  foreach(layer ${ARG_LAYERS})
    orvo_layer_link(link ${layer})
    list(APPEND links ${link})
  endforeach()
  if(NOT hooked)
    add_library(${name} STATIC ${sources})
    set(variants ${name})
  else()
    list(REMOVE_ITEM sources ${hooked})
    add_library(${name}_objects OBJECT ${sources})
    target_include_directories(${name}_objects PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name}_objects PUBLIC ${links})
    orvo_warnings(${name}_objects)
    add_library(${name} STATIC $<TARGET_OBJECTS:${name}_objects> ${hooked})
    add_library(${name}_testing STATIC EXCLUDE_FROM_ALL $<TARGET_OBJECTS:${name}_objects> ${hooked})
    target_compile_definitions(${name}_testing PRIVATE ORVO_TEST_HOOKS=1)
    set(variants ${name} ${name}_testing)
  endif()
  foreach(target ${variants})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${links})
    orvo_warnings(${target})
  endforeach()
endfunction()

# Links the test variants of the core into `target` (a test program, a fuzz
# target, a benchmark, a module loaded only by tests).
function(orvo_test_hooks target)
  set_target_properties(${target} PROPERTIES ORVO_TEST_HOOKS ON)
endfunction()
