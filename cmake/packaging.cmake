# Install rules beside the binary's, and the Debian package.
#
#   cmake --install build/release --prefix DIR   DIR/bin/qarvex, DIR/share/man/man1/qarvex.1
#   cpack --config build/release/CPackConfig.cmake
#                                                qarvex_VERSION_ARCH.deb, both under /usr
#
# GNUInstallDirs is included by the top-level list before this file.

install(FILES ${PROJECT_SOURCE_DIR}/qarvex.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the qarvex developers")
set(CPACK_PACKAGE_CONTACT "the qarvex developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "draws the world map of an Apple II tile game from its disk images as a BMP picture")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the qarvex developers")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ run-time libraries the binary links against, found by
# dpkg-shlibdeps (package dpkg-dev) from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
