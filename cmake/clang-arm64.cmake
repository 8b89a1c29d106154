# Cross build for Windows on ARM64 with clang and lld. Debian has no ARM64
# MinGW runtime, so the programs link against no C runtime at all: the entry
# points come from src/runtime, the import libraries from scripts/arm64-sdk.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(NORV_TRIPLE aarch64-w64-mingw32)
set(NORV_NO_CRT ON)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${NORV_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${NORV_TRIPLE})
# llvm-windres compiles the version resource straight to an ARM64 object.
find_program(NORV_LLVM_WINDRES NAMES llvm-windres llvm-windres-14 llvm-windres-16
             HINTS /usr/lib/llvm-14/bin /usr/lib/llvm-16/bin REQUIRED)
set(CMAKE_RC_COMPILER ${NORV_LLVM_WINDRES})
# The string tables are UTF-8 (src/strings); llvm-windres reads no code_page pragma.
set(CMAKE_RC_FLAGS_INIT "--target=${NORV_TRIPLE} --codepage=65001 -I/usr/share/mingw-w64/include")
# Nothing links before the runtime and the import libraries exist.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

if(DEFINED ENV{NORV_ARM64_SDK})
    set(NORV_ARM64_LIBS $ENV{NORV_ARM64_SDK}/lib)
elseif(DEFINED ENV{NORV_BUILD_ROOT})
    set(NORV_ARM64_LIBS $ENV{NORV_BUILD_ROOT}/arm64-sdk/lib)
else()
    set(NORV_ARM64_LIBS ${CMAKE_CURRENT_LIST_DIR}/../build/arm64-sdk/lib)
endif()
get_filename_component(NORV_ARM64_LIBS ${NORV_ARM64_LIBS} ABSOLUTE)
if(NOT EXISTS ${NORV_ARM64_LIBS}/libkernel32.a)
    message(FATAL_ERROR "No ARM64 import libraries in ${NORV_ARM64_LIBS}: run scripts/arm64-sdk.sh")
endif()

# Windows' headers from mingw-w64-common; of the C++ library only the
# header-only <new> and <utility>, taken from the x86-64 MinGW compiler.
# Anything that wants more (a guarded local static, a throw) fails to link.
set(NORV_CXX_HEADERS /usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++)
set(CMAKE_C_FLAGS_INIT "-isystem /usr/share/mingw-w64/include")
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${NORV_CXX_HEADERS} -isystem ${NORV_CXX_HEADERS}/x86_64-w64-mingw32 -isystem /usr/share/mingw-w64/include -fno-exceptions -fno-rtti")
foreach(kind EXE SHARED MODULE)
    # The compile-only flags above reach the link line too: not a fault there.
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -L${NORV_ARM64_LIBS} -Wno-unused-command-line-argument")
endforeach()
# The MinGW builds' default Windows libraries, less those arm64-sdk.sh does
# not make (nothing here uses them); msvcrt for memcpy and memset.
set(NORV_ARM64_DEFAULT_LIBS "-lkernel32 -luser32 -lwinspool -lshell32 -lole32 -ladvapi32 -lmsvcrt")
set(CMAKE_C_STANDARD_LIBRARIES "${NORV_ARM64_DEFAULT_LIBS}" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "${NORV_ARM64_DEFAULT_LIBS}" CACHE STRING "" FORCE)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
