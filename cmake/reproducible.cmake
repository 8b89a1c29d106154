# The same commit gives the same bytes, wherever and whenever it is built.
# Every time written into a binary is SOURCE_DATE_EPOCH, by default the time of
# the commit being built (there is none in a source tarball: it must be set
# there); the build folder's path is written nowhere.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(NORV_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    # Only this tree's own history: a tarball unpacked inside another
    # repository would otherwise take that one's time.
    execute_process(COMMAND git rev-parse --show-toplevel WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE git_top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH "${CMAKE_SOURCE_DIR}" source_dir)
    set(git_failed 1)
    if(git_top STREQUAL source_dir)
        execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                        OUTPUT_VARIABLE NORV_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                        ERROR_QUIET RESULT_VARIABLE git_failed)
    endif()
    if(git_failed OR NOT NORV_SOURCE_DATE_EPOCH)
        # A source tarball: stamping 0 would date every binary 1970.
        message(FATAL_ERROR "${CMAKE_SOURCE_DIR} has no git history to take the binaries' time from: "
                            "set SOURCE_DATE_EPOCH (seconds since 1970, e.g. the release commit's time)")
    endif()
endif()
if(NOT NORV_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH '${NORV_SOURCE_DATE_EPOCH}' is not a number of seconds")
endif()
message(STATUS "Time stamp of the binaries (SOURCE_DATE_EPOCH): ${NORV_SOURCE_DATE_EPOCH}")

add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # lld writes the build's time unless told one; it reads no environment.
    add_link_options(-Wl,-Xlink=/timestamp:${NORV_SOURCE_DATE_EPOCH})
else()
    # GNU ld stamps the PE header and the export table with SOURCE_DATE_EPOCH
    # when it is set, with the time of the link when not.
    foreach(lang C CXX)
        set(CMAKE_${lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${NORV_SOURCE_DATE_EPOCH})
    endforeach()
endif()
