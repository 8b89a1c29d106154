# norv_export_table(DEF OUT): writes OUT, a C file whose top-level assembly is
# the export table of the module that DEF describes, for lld to take as it is.
# lld 14 writes every export table with ordinal base 0 and an empty slot 0,
# where GNU ld (and so the x86 and x64 builds) starts at 1; a literal .edata
# section in an input replaces the one lld would make. The names are sorted
# (the loader searches them by halves) and numbered from 1 in that order, as
# GNU ld numbers them. Also a script of its own, for the checker's self-test:
#   cmake -DDEF=x.def -DOUT=x.c [-DNORV_SOURCE_DATE_EPOCH=N] -P cmake/export-table.cmake
if(CMAKE_SCRIPT_MODE_FILE)
    cmake_minimum_required(VERSION 3.21)  # the policies the project builds with
endif()
function(norv_export_table def out)
    if(NOT CMAKE_SCRIPT_MODE_FILE)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    endif()
    file(STRINGS ${def} lines)
    set(library "")
    set(names "")
    set(in_exports OFF)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE ";.*" "" line "${line}")
        string(STRIP "${line}" line)
        if(line MATCHES "^LIBRARY[ \t]+\"?([^\" \t]+)\"?$")
            set(library ${CMAKE_MATCH_1})
        elseif(line STREQUAL "EXPORTS")
            set(in_exports ON)
        elseif(in_exports AND line MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
            list(APPEND names ${line})
        elseif(line)
            message(FATAL_ERROR "${def}: '${line}' is not a plain export (no ordinals, aliases or flags here)")
        endif()
    endforeach()
    if(NOT library OR NOT names)
        message(FATAL_ERROR "${def}: needs a LIBRARY line and at least one export")
    endif()
    list(SORT names)
    list(LENGTH names count)
    set(functions "")
    set(name_rvas "")
    set(ordinals "")
    set(strings "")
    set(index 0)
    foreach(name IN LISTS names)
        string(APPEND functions "\"    .rva ${name}\\n\"\n")
        string(APPEND name_rvas "\"    .rva .Lnorv_name${index}\\n\"\n")
        string(APPEND ordinals "\"    .short ${index}\\n\"\n")
        string(APPEND strings "\".Lnorv_name${index}: .asciz \\\"${name}\\\"\\n\"\n")
        math(EXPR index "${index} + 1")
    endforeach()
    file(CONFIGURE OUTPUT ${out} @ONLY CONTENT
"/* Made by cmake/export-table.cmake from the module's .def file. */
__asm__(
\"    .section .edata,\\\"dr\\\"\\n\"
\"    .p2align 2\\n\"
\"    .long 0, @NORV_SOURCE_DATE_EPOCH@\\n\" /* flags, time stamp */
\"    .short 0, 0\\n\"             /* version */
\"    .rva .Lnorv_library\\n\"
\"    .long 1, @count@, @count@\\n\" /* ordinal base, functions, names */
\"    .rva .Lnorv_functions, .Lnorv_names, .Lnorv_ordinals\\n\"
\".Lnorv_functions:\\n\"
@functions@\".Lnorv_names:\\n\"
@name_rvas@\".Lnorv_ordinals:\\n\"
@ordinals@\".Lnorv_library: .asciz \\\"@library@\\\"\\n\"
@strings@\"    .text\\n\");
")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED DEF)
    if(NOT DEFINED NORV_SOURCE_DATE_EPOCH)
        set(NORV_SOURCE_DATE_EPOCH 0)
    endif()
    norv_export_table(${DEF} ${OUT})
endif()
