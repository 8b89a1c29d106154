// The string resources of the native program's image, generated at build time
// from src/strings by cmake/string-table.cmake.
#pragma once

#include <windows.h>

#include <cstddef>

namespace win32layer::detail {

struct ImageString {
    LANGID language;
    UINT id;
    const WCHAR* text;
};
extern const ImageString kImageStrings[];
extern const size_t kImageStringCount;

}  // namespace win32layer::detail
