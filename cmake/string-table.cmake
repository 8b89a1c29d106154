# Turns the string tables of src/strings (one .rc file per language) into the
# table the Win32 layer serves as the native program's RT_STRING resources,
# so that the native build shows the texts the DLLs carry.
#
#   cmake -DIDS=string_ids.h -DOUTPUT=strings.cpp -DTABLES="en.rc|de.rc" -P string-table.cmake
#
# Fails when a table lacks an id, has one twice or names one the header does
# not define: on Windows a block with a gap shows an empty text, not English.

cmake_minimum_required(VERSION 3.21)

# The languages a table may name; a third language adds its name here if
# it is not listed yet.
set(lang_LANG_NEUTRAL 0)
set(lang_LANG_CHINESE 4)
set(lang_LANG_CZECH 5)
set(lang_LANG_DANISH 6)
set(lang_LANG_GERMAN 7)
set(lang_LANG_ENGLISH 9)
set(lang_LANG_SPANISH 10)
set(lang_LANG_FINNISH 11)
set(lang_LANG_FRENCH 12)
set(lang_LANG_ITALIAN 16)
set(lang_LANG_JAPANESE 17)
set(lang_LANG_NORWEGIAN 20)
set(lang_LANG_DUTCH 19)
set(lang_LANG_POLISH 21)
set(lang_LANG_PORTUGUESE 22)
set(lang_LANG_RUSSIAN 25)
set(lang_LANG_SWEDISH 29)
set(sublang_SUBLANG_NEUTRAL 0)
set(sublang_SUBLANG_DEFAULT 1)
set(sublang_SUBLANG_ENGLISH_US 1)
set(sublang_SUBLANG_ENGLISH_UK 2)
set(sublang_SUBLANG_GERMAN 1)
set(sublang_SUBLANG_FRENCH 1)

file(STRINGS ${IDS} defines REGEX "^#define IDS_")
set(all_ids)
foreach(define IN LISTS defines)
    if(NOT define MATCHES "^#define (IDS_[A-Z0-9_]+) ([0-9]+)$")
        message(FATAL_ERROR "${IDS}: not a plain id: ${define}")
    endif()
    set(id_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    list(APPEND all_ids ${CMAKE_MATCH_1})
endforeach()
if(NOT all_ids)
    message(FATAL_ERROR "${IDS}: no ids")
endif()

string(REPLACE "|" ";" TABLES "${TABLES}")
set(rows "")
foreach(table IN LISTS TABLES)
    file(READ ${table} content)
    # Semicolons in a text would split CMake's lists.
    string(REPLACE ";" "@SEMICOLON@" content "${content}")
    string(REPLACE "\n" ";" lines "${content}")
    set(language "")
    set(seen)
    foreach(line IN LISTS lines)
        if(line MATCHES "^LANGUAGE +([A-Z_]+|[0-9]+) *, *([A-Z_]+|[0-9]+)")
            set(primary ${CMAKE_MATCH_1})
            set(sub ${CMAKE_MATCH_2})
            if(DEFINED lang_${primary})
                set(primary ${lang_${primary}})
            endif()
            if(DEFINED sublang_${sub})
                set(sub ${sublang_${sub}})
            endif()
            if(NOT primary MATCHES "^[0-9]+$" OR NOT sub MATCHES "^[0-9]+$")
                message(FATAL_ERROR "${table}: unknown language in '${line}': add it to ${CMAKE_CURRENT_LIST_FILE}")
            endif()
            math(EXPR language "${sub} * 1024 + ${primary}" OUTPUT_FORMAT HEXADECIMAL)
        elseif(line MATCHES "^ *(IDS_[A-Z0-9_]+) *,? *\"(.*)\" *$")
            set(name ${CMAKE_MATCH_1})
            set(text "${CMAKE_MATCH_2}")
            if(NOT DEFINED id_${name})
                message(FATAL_ERROR "${table}: ${name} is not defined in ${IDS}")
            endif()
            if(name IN_LIST seen)
                message(FATAL_ERROR "${table}: ${name} twice")
            endif()
            if(NOT language)
                message(FATAL_ERROR "${table}: ${name} before any LANGUAGE")
            endif()
            list(APPEND seen ${name})
            # A resource script writes a quote as two; C++ as \".
            string(REPLACE "\"\"" "\\\"" text "${text}")
            string(APPEND rows "    {${language}, ${id_${name}}, u\"${text}\"},\n")
        endif()
    endforeach()
    foreach(name IN LISTS all_ids)
        if(NOT name IN_LIST seen)
            message(FATAL_ERROR "${table}: no text for ${name}")
        endif()
    endforeach()
endforeach()
string(REPLACE "@SEMICOLON@" ";" rows "${rows}")

set(generated "// Made by cmake/string-table.cmake from src/strings: do not edit.
#include \"resources.h\"

namespace win32layer::detail {

const ImageString kImageStrings[] = {
${rows}};
const size_t kImageStringCount = sizeof(kImageStrings) / sizeof(kImageStrings[0]);

}  // namespace win32layer::detail
")
# Rewritten only when it changes, so that a touched table rebuilds little.
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} previous)
endif()
if(NOT "${previous}" STREQUAL "${generated}")
    file(WRITE ${OUTPUT} "${generated}")
endif()
