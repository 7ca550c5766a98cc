# Installation the way C libraries ship on Linux: libfpdriver.so.1 (SONAME) with its
# version, the development link and header, a pkg-config file and a CMake package whose
# imported target is fpdriver::fpdriver; the command-line tools and the documentation.
# CPack turns the same installation into a Debian package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Installing (and packaging) takes what is built; it does not build the whole tree first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS fpdriver EXPORT fpdriverTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/fpdriver DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS fpctl fpemu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md docs/ABI.md docs/exports.md docs/requests.md docs/performance.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The print service, its systemd unit and an example configuration (copied to
# /etc/fpd/fpd.json by whoever sets the shop up: it holds the tills' tokens).
if(TARGET fpd)
  install(TARGETS fpd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES tools/fpd/fpd.service DESTINATION lib/systemd/system)
  install(FILES docs/service.md tools/fpd/fpd.example.json DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/examples)
  install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

# The pkg-config file finds the prefix from its own place, so that an installation moved
# elsewhere (or made with --prefix) still answers with its own paths.
file(RELATIVE_PATH FPDRIVER_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" FPDRIVER_PC_TO_PREFIX "${FPDRIVER_PC_TO_PREFIX}")
configure_file(cmake/fpdriver.pc.in ${CMAKE_BINARY_DIR}/fpdriver.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/fpdriver.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(FPDRIVER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/fpdriver)
install(EXPORT fpdriverTargets NAMESPACE fpdriver:: DESTINATION ${FPDRIVER_CMAKE_DIR})
configure_package_config_file(cmake/fpdriverConfig.cmake.in ${CMAKE_BINARY_DIR}/fpdriverConfig.cmake
  INSTALL_DESTINATION ${FPDRIVER_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/fpdriverConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/fpdriverConfig.cmake ${CMAKE_BINARY_DIR}/fpdriverConfigVersion.cmake
        DESTINATION ${FPDRIVER_CMAKE_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fpdriver)
set(CPACK_PACKAGE_VENDOR "fpdriver")
set(CPACK_PACKAGE_CONTACT "fpdriver maintainers <fpdriver@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fiscal printer driver library for point-of-sale hosts (Italian RT printers over HTTP)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The runtime dependencies come from the binaries themselves (dpkg-shlibdeps); the receipt
# picture wants a fixed-width font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
