# Install rules beside the binary's, and the Debian package.
#
#   cmake --install build/release --prefix DIR
#       DIR/bin/qarvex
#       DIR/share/man/man1/qarvex.1.gz
#       DIR/share/bash-completion/completions/qarvex
#       DIR/share/doc/qarvex/copyright, DIR/share/doc/qarvex/changelog.gz
#   cpack --config build/release/CPackConfig.cmake
#       qarvex_VERSION_ARCH.deb, the same files under /usr
#
# GNUInstallDirs is included by the top-level list before this file. The
# Debian-side sources (changelog, copyright template, completion) are in
# packaging/.

set(qarvex_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(qarvex_staged_dir ${PROJECT_BINARY_DIR}/packaging)
set(qarvex_maintainer "qarvex developers <qarvex@example.org>")

# The manual page and the changelog are installed compressed with gzip -9n
# (no name or time stamp inside, so the same text gives the same bytes); man
# reads the compressed page as it is. Without gzip they go in as plain text.
find_program(QARVEX_GZIP gzip)
set(qarvex_staged_files)
function(qarvex_install_compressed source name destination)
    if(NOT QARVEX_GZIP)
        install(FILES ${source} DESTINATION ${destination} RENAME ${name})
        return()
    endif()
    set(staged ${qarvex_staged_dir}/${name})
    add_custom_command(OUTPUT ${staged}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${staged}
        COMMAND ${QARVEX_GZIP} -9nf ${staged}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    set(qarvex_staged_files ${qarvex_staged_files} ${staged}.gz PARENT_SCOPE)
    install(FILES ${staged}.gz DESTINATION ${destination})
endfunction()

qarvex_install_compressed(${PROJECT_SOURCE_DIR}/qarvex.1 qarvex.1 ${CMAKE_INSTALL_MANDIR}/man1)
qarvex_install_compressed(${qarvex_packaging_dir}/changelog changelog ${CMAKE_INSTALL_DOCDIR})
add_custom_target(qarvex_staged_files ALL DEPENDS ${qarvex_staged_files})

# The copyright file in Debian's machine-readable format, its licence text
# taken from LICENSE: every line indented by one blank, blank lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
    message(FATAL_ERROR "LICENSE: no line 'Copyright (c) ...' followed by the licence text")
endif()
set(qarvex_copyright ${CMAKE_MATCH_1})
string(STRIP "${CMAKE_MATCH_2}" license)
string(REPLACE "\n" "\n " license " ${license}")
string(REPLACE "\n \n" "\n .\n" qarvex_license_text "${license}")
configure_file(${qarvex_packaging_dir}/copyright.in ${qarvex_staged_dir}/copyright @ONLY)
install(FILES ${qarvex_staged_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Completion of the options and their values, loaded by bash-completion on
# demand from this folder.
install(FILES ${qarvex_packaging_dir}/qarvex.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qarvex)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "qarvex developers")
set(CPACK_PACKAGE_CONTACT ${qarvex_maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "draw the world map of an Apple II tile game as one BMP picture")
set(CPACK_PACKAGE_DESCRIPTION [[
qarvex reads the two Apple II disk images of a classic tile-based
role-playing game, the program disk with its 256 tile shapes and the world
disk with its 256 x 256 tile map, and lays every tile out in one
uncompressed BMP picture of 7168 x 8192 pixels.

It colours the picture the way an NTSC monitor shows Apple II hi-res
graphics: artifact colour, blurred artifact colour, or a decode of the
composite colour signal. It reads disk images in DOS 3.3 or ProDOS sector
order, can draw the moon gates and the balloon, and can take the tiles
from a BMP tile sheet instead of the program disk.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${qarvex_maintainer})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ run-time libraries the binary links against, found by
# dpkg-shlibdeps (package dpkg-dev) from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
