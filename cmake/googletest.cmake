# GoogleTest for the test programs: the installed library (Debian: libgtest-dev)
# when there is one, else built here from GoogleTest's sources (Debian: googletest,
# which puts them in /usr/src/googletest). Either way the tests link
# GTest::gtest_main and GTest::gtest.
#
#   -DQARVEX_GTEST_SOURCE_DIR=DIR      take the sources from DIR instead
#   -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
#                                      ignore the installed library

set(QARVEX_GTEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources, built when the installed library is missing")

find_package(GTest QUIET)
if(NOT GTest_FOUND)
    # One line naming both packages; the leading blank keeps CMake from
    # wrapping it.
    if(NOT EXISTS ${QARVEX_GTEST_SOURCE_DIR}/googletest/CMakeLists.txt)
        message(FATAL_ERROR " GoogleTest is missing: install libgtest-dev (the library) or googletest (its sources in ${QARVEX_GTEST_SOURCE_DIR})")
    endif()
    message(STATUS "GoogleTest: building it from ${QARVEX_GTEST_SOURCE_DIR}")
    # gtest alone, a static library, nothing of it installed. Its targets do not
    # link qarvex_flags, so our warning flags and -Werror stay off its code.
    set(BUILD_GMOCK OFF)
    set(INSTALL_GTEST OFF)
    set(BUILD_SHARED_LIBS OFF)
    set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)
    add_subdirectory(${QARVEX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(target gtest gtest_main)
        if(NOT TARGET GTest::${target})
            add_library(GTest::${target} ALIAS ${target})
        endif()
    endforeach()
endif()
