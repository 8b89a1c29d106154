// The architecture this norvinst is built for, and the names Windows and the
// spooler give architectures.
#pragma once

#include <windows.h>

#ifndef IMAGE_FILE_MACHINE_ARM64
#define IMAGE_FILE_MACHINE_ARM64 0xAA64
#endif

#if defined(_M_ARM64) || defined(__aarch64__)
constexpr WORD kMachine = IMAGE_FILE_MACHINE_ARM64;
#elif defined(_WIN64)
constexpr WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

// "x86", "x64", "ARM64" or "unknown": also the bundle's folder names.
inline LPCWSTR MachineName(WORD machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386: return L"x86";
        case IMAGE_FILE_MACHINE_AMD64: return L"x64";
        case IMAGE_FILE_MACHINE_ARM64: return L"ARM64";
        default: return L"unknown";
    }
}

// The spooler's environment for monitors of that architecture.
inline LPCWSTR EnvironmentOf(WORD machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_AMD64: return L"Windows x64";
        case IMAGE_FILE_MACHINE_ARM64: return L"Windows ARM64";
        default: return L"Windows NT x86";
    }
}
