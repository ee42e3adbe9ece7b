# The version of the DLLs' version resources and of the installer packages:
# the project's one version number, project(VERSION). ORVO_VERSION replaces it
# for a test build of another release (the installer test builds a newer one
# to upgrade to); empty, the project's version holds.
set(ORVO_VERSION "" CACHE STRING "Another MAJOR.MINOR.PATCH for the version resources (test builds only)")
if(ORVO_VERSION STREQUAL "")
  set(orvo_version ${PROJECT_VERSION})
else()
  set(orvo_version ${ORVO_VERSION})
endif()
if(NOT orvo_version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "version '${orvo_version}' is not MAJOR.MINOR.PATCH")
endif()
set(ORVO_VERSION_MAJOR ${CMAKE_MATCH_1})
set(ORVO_VERSION_MINOR ${CMAKE_MATCH_2})
set(ORVO_VERSION_PATCH ${CMAKE_MATCH_3})
set(ORVO_VERSION_TEXT ${orvo_version})
configure_file(${CMAKE_CURRENT_LIST_DIR}/orvo_version.h.in ${PROJECT_BINARY_DIR}/version/orvo_version.h @ONLY)

# orvo_version_resource(target): the target's .rc file includes orvo_version.h.
function(orvo_version_resource target)
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR}/version)
endfunction()
