# Installation of the C library (runtime and development files) and the tool,
# and the Debian packages CPack makes of them (scripts/package-deb, into build/deb/debs):
#   liborvocrypto1     liborvocrypto.so.1
#   liborvocrypto-dev  orvocrypto.h, the liborvocrypto.so link, orvocrypto.pc,
#                      the CMake package (target orvocrypto::orvocrypto)
#   orvocrypto-tools   the orvocrypto command-line tool
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/orvocrypto)

install(TARGETS orvocrypto_c EXPORT orvocryptoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/orvocrypto.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# The pkg-config file is written when it is installed, with the prefix of
# that installation (cmake --install --prefix, or the packages' /usr).
install(CODE "
  set(ORVO_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(ORVO_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(ORVO_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(ORVO_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/orvocrypto.pc.in\" \"${PROJECT_BINARY_DIR}/pkgconfig/orvocrypto.pc\" @ONLY)
" COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/orvocrypto.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

install(EXPORT orvocryptoTargets NAMESPACE orvocrypto:: DESTINATION ${ORVO_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/orvocryptoConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/orvocryptoConfig.cmake INSTALL_DESTINATION ${ORVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/orvocryptoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvocryptoConfig.cmake ${PROJECT_BINARY_DIR}/orvocryptoConfigVersion.cmake
        DESTINATION ${ORVO_CMAKE_DIR} COMPONENT dev)

install(TARGETS orvocrypto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

# The tool's manual page, and each package's copyright and changelog where
# Debian keeps them (/usr/share/doc/PACKAGE), compressed as Debian compresses
# them (gzip -9n: no name or time stamp inside). Made when CMake configures.
set(ORVO_DOC_DIR ${PROJECT_BINARY_DIR}/doc)
configure_file(${PROJECT_SOURCE_DIR}/tools/orvocrypto/doc/orvocrypto.1.in ${ORVO_DOC_DIR}/orvocrypto.1 @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/installer/debian/changelog)
find_program(ORVO_GZIP gzip REQUIRED)
foreach(file orvocrypto.1 changelog)
  set(from ${ORVO_DOC_DIR}/${file})
  if(file STREQUAL "changelog")
    set(from ${PROJECT_SOURCE_DIR}/installer/debian/changelog)
  endif()
  execute_process(COMMAND ${ORVO_GZIP} -9nc ${from} OUTPUT_FILE ${ORVO_DOC_DIR}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${ORVO_DOC_DIR}/orvocrypto.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
foreach(component_package lib:liborvocrypto${PROJECT_VERSION_MAJOR} dev:liborvocrypto-dev tools:orvocrypto-tools)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${PROJECT_SOURCE_DIR}/installer/debian/copyright ${ORVO_DOC_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# Debian packages, one per component. CPack packs what is built (scripts/package-deb
# builds the library and the tool first) rather than building every target.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvocrypto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quelvar")
set(CPACK_PACKAGE_CONTACT "orvocrypto maintainers <orvocrypto@quelvar.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)  # installs with prefix /usr into a staging DESTDIR, so the .pc reads /usr
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_LIB_PACKAGE_NAME liborvocrypto${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_DESCRIPTION
    "orvocrypto C library\nThe C library of orvocrypto: AES, Twofish and Blowfish with keys from\nseeds, RSA key pairs from two seeds, MD5, SHA-1, CRC-32 and the framing of\npacked blobs, in the key blob and sealed-data formats of the orvocrypto\nscripting objects.")
# The shared library's cache is rebuilt by dpkg's ldconfig trigger.
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/installer/debian/liborvocrypto1/triggers)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborvocrypto-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS lib)  # Depends: liborvocrypto1 (= VERSION)
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "orvocrypto C library: development files\nThe header orvocrypto.h, the link library, the pkg-config file\norvocrypto.pc and the CMake package orvocrypto (target\norvocrypto::orvocrypto).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME orvocrypto-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "orvocrypto command-line tool\nReads and writes the key blobs, sealed data and signatures of the orvocrypto\nscripting objects: keygen, encrypt, decrypt, the RSA commands, md5, sha1, crc32\nand random.")

# Debian ships stripped binaries (the hardening check reads the dynamic symbols).
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/debs)
include(CPack)
