# The WebAssembly builds, made with Emscripten (the web preset):
#
#   build/web/node/qarvex.js   the command-line program for Node, reading and
#                              writing real files; build/web/node/qarvex runs it
#   build/web/qarvex.html      the page: the tool, its worker, the viewer
#                              library and the styles in one file
#
# Node runs Emscripten's output only without its own fetch, and Emscripten's
# linker finds its Node modules only through NODE_PATH; the preset and the
# wrapper set both.
find_program(QARVEX_NODE node REQUIRED)
find_program(QARVEX_NPM npm REQUIRED)

# Memory grows as the run allocates (the NTSC picture needs 235 MB) up to
# the 4 GiB of 32-bit WebAssembly; running out reaches the tool's own lines.
set(qarvex_wasm_memory -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB -sABORTING_MALLOC=0)

set_target_properties(qarvex PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/node)
target_link_options(qarvex PRIVATE ${qarvex_wasm_memory} -sNODERAWFS=1 -sEXIT_RUNTIME=1
                    -sENVIRONMENT=node --pre-js ${PROJECT_SOURCE_DIR}/web/node-pre.js)
set_property(TARGET qarvex APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/web/node-pre.js)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/node/qarvex CONTENT [=[#!/bin/sh
# The command-line program, compiled to WebAssembly, run by Node.
exec @QARVEX_NODE@ --no-experimental-fetch "$(dirname "$0")/qarvex.js" "$@"
]=] @ONLY)
file(CHMOD ${CMAKE_BINARY_DIR}/node/qarvex PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The viewer library and the browser tests' driver, as the lock file pins them.
set(qarvex_web_dir ${PROJECT_SOURCE_DIR}/web)
if(NOT EXISTS ${qarvex_web_dir}/node_modules/leaflet/package.json)
    execute_process(COMMAND ${QARVEX_NPM} ci --ignore-scripts --no-audit --no-fund
                    WORKING_DIRECTORY ${qarvex_web_dir} RESULT_VARIABLE npm_result)
    if(NOT npm_result EQUAL 0)
        message(FATAL_ERROR "npm ci in ${qarvex_web_dir} failed")
    endif()
endif()

# The page's engine: the same run as the command line, on the in-memory file
# system, with the wasm inlined as base64.
add_executable(qarvex-web ${PROJECT_SOURCE_DIR}/src/cli/web_main.cpp)
target_link_libraries(qarvex-web PRIVATE qarvex_cli demo_disks)
set_target_properties(qarvex-web PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/engine)
target_link_options(qarvex-web PRIVATE ${qarvex_wasm_memory} -sSINGLE_FILE=1 -sMODULARIZE=1
    -sEXPORT_NAME=createQarvex -sENVIRONMENT=worker -sFILESYSTEM=1
    -sEXPORTED_FUNCTIONS=_web_run,_web_read_world_map,_web_is_program_disk,_web_make_demo,_malloc,_free
    -sEXPORTED_RUNTIME_METHODS=FS,ccall,setValue,stringToUTF8,lengthBytesUTF8
    --pre-js ${qarvex_web_dir}/engine-pre.js)
set_property(TARGET qarvex-web APPEND PROPERTY LINK_DEPENDS ${qarvex_web_dir}/engine-pre.js)

set(qarvex_page_sources page.html page.css page.js bmp.js worker.js build-page.js)
list(TRANSFORM qarvex_page_sources PREPEND ${qarvex_web_dir}/)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/qarvex.html
    COMMAND ${QARVEX_NODE} ${qarvex_web_dir}/build-page.js ${qarvex_web_dir}
            $<TARGET_FILE:qarvex-web> ${qarvex_web_dir}/node_modules/leaflet
            ${CMAKE_BINARY_DIR}/qarvex.html
    DEPENDS qarvex-web ${qarvex_page_sources}
    VERBATIM)
add_custom_target(page ALL DEPENDS ${CMAKE_BINARY_DIR}/qarvex.html)

# The web workflow's tests compare with the native program, built here by the
# test preset: the command-line outcome tests run once more with the Node
# program in its place, and the page runs in headless Chromium (Debian's
# /usr/bin/chromium, driven by playwright-core) against the native program.
# The hostile-input suite stays native: it runs the tool under memory limits
# that leave Node no room for its own code.
enable_testing()
set(qarvex_native_dir ${PROJECT_SOURCE_DIR}/build/test)
add_test(NAME web.native-build
         COMMAND sh -c "cmake --preset test >/dev/null && cmake --build --preset test"
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(web.native-build PROPERTIES FIXTURES_SETUP native TIMEOUT 1800)
# Node's runtime has no user ids, signals or room reserved ahead of a write:
# the output-file cases that rest on those are the native program's alone.
set(qarvex_node_filter_cli
    --gtest_filter=-OutputFile.AFileThatCannotBeReplacedIsWrittenInPlace:OutputFile.AFileSizeLimitOrAFullDiskLeavesTheOldFile)
foreach(sub cli disk bmp map render)
    add_test(NAME web.node-${sub} COMMAND ${qarvex_native_dir}/tests/test_${sub}
             ${qarvex_node_filter_${sub}})
    set_tests_properties(web.node-${sub} PROPERTIES FIXTURES_REQUIRED native TIMEOUT 1800
        ENVIRONMENT "QARVEX_BINARY=${CMAKE_BINARY_DIR}/node/qarvex")
endforeach()
add_test(NAME web.page COMMAND ${QARVEX_NODE} --test ${PROJECT_SOURCE_DIR}/tests/web/)
set_tests_properties(web.page PROPERTIES FIXTURES_REQUIRED native TIMEOUT 1800 ENVIRONMENT
    "QARVEX_PAGE=${CMAKE_BINARY_DIR}/qarvex.html;QARVEX_NATIVE=${qarvex_native_dir}/qarvex;QARVEX_DEMO=${qarvex_native_dir}/tools/demo/qarvex-demo")
