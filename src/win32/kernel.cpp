// Kernel calls: critical sections, events, temp path, heap, last error.
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "layer_internal.h"

using namespace win32layer;
using win32layer::detail::ShouldFail;

namespace {

thread_local DWORD lastError = 0;
thread_local int sectionsHeld = 0;

struct Event {
    std::u16string name;  // lower case; empty when unnamed
    int references = 0;
};

std::mutex kernelMutex;
std::map<std::u16string, Event*> namedEvents;
std::set<HMODULE> threadCallsDisabled;
const std::u16string kDefaultTempPath = u"C:\\WINDOWS\\TEMP\\";
std::u16string tempPath = kDefaultTempPath;
const std::u16string kDefaultComputerName = u"THISPC";
std::u16string computerName = kDefaultComputerName;
constexpr DWORD kDefaultVersion[2] = {6, 2};
DWORD windowsVersion[2] = {kDefaultVersion[0], kDefaultVersion[1]};
std::atomic<size_t> liveBlocks{0};
// Fixed global memory and its size. GlobalFree and GlobalSize refuse any
// other pointer, as documented; Wine 8 takes process-heap memory there too,
// so only this layer catches a block handed out from the wrong allocator.
std::map<void*, SIZE_T> globalBlocks;

// Each handle is a distinct small allocation pointing at its event.
struct EventHandle {
    Event* event;
};
std::set<EventHandle*> openHandles;

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    pthread_mutex_lock(&cs->mutex);
    ++sectionsHeld;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    --sectionsHeld;
    pthread_mutex_unlock(&cs->mutex);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(&cs->mutex); }

BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    threadCallsDisabled.insert(module);
    return TRUE;
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR name) {
    DWORD error;
    if (ShouldFail(Api::CreateEventW, ERROR_ACCESS_DENIED, &error)) {
        SetLastError(error);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(kernelMutex);
    Event* event = nullptr;
    std::u16string key = name ? detail::Lower(name) : std::u16string();
    bool existed = false;
    if (!key.empty()) {
        auto found = namedEvents.find(key);
        if (found != namedEvents.end()) {
            event = found->second;
            existed = true;
        }
    }
    if (!event) {
        event = new Event{key, 0};
        if (!key.empty()) namedEvents[key] = event;
    }
    ++event->references;
    auto* handle = new EventHandle{event};
    openHandles.insert(handle);
    lastError = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    auto* eventHandle = static_cast<EventHandle*>(handle);
    if (!openHandles.erase(eventHandle)) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    Event* event = eventHandle->event;
    delete eventHandle;
    if (--event->references == 0) {
        if (!event->name.empty()) namedEvents.erase(event->name);
        delete event;
    }
    return TRUE;
}

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(kernelMutex);
    info->dwMajorVersion = windowsVersion[0];
    info->dwMinorVersion = windowsVersion[1];
    info->dwBuildNumber = 0;
    info->dwPlatformId = 2;  // VER_PLATFORM_WIN32_NT
    info->szCSDVersion[0] = 0;
    return TRUE;
}

DWORD WINAPI GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    DWORD error;
    if (ShouldFail(Api::GetTempPathW, ERROR_ACCESS_DENIED, &error)) {
        SetLastError(error);
        return 0;
    }
    std::lock_guard<std::mutex> guard(kernelMutex);
    DWORD length = DWORD(tempPath.size());
    if (length + 1 > bufferLength || !buffer) return length + 1;
    for (DWORD i = 0; i < length; ++i) buffer[i] = tempPath[i];
    buffer[length] = 0;
    return length;
}

// As Win32: *size is the buffer's units on entry; the name's length on
// success, or the units needed with ERROR_BUFFER_OVERFLOW when it does not fit.
BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(kernelMutex);
    const DWORD length = DWORD(computerName.size());
    if (!buffer || *size < length + 1) {
        *size = length + 1;
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    for (DWORD i = 0; i < length; ++i) buffer[i] = computerName[i];
    buffer[length] = 0;
    *size = length;
    return TRUE;
}

void WINAPI SetLastError(DWORD error) { lastError = error; }
DWORD WINAPI GetLastError(void) { return lastError; }

HANDLE WINAPI GetProcessHeap(void) {
    static int processHeap;
    return &processHeap;
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    if (ShouldFail(Api::HeapAlloc)) return nullptr;
    void* memory = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                              : std::malloc(bytes ? bytes : 1);
    if (memory) ++liveBlocks;
    return memory;
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID memory) {
    if (!memory) return TRUE;
    --liveBlocks;
    std::free(memory);
    return TRUE;
}

// Only fixed memory: a fixed block's handle is its address, so a caller may
// use and free it like the heap's. Moveable memory is refused.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (flags & ~UINT(GMEM_ZEROINIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (ShouldFail(Api::GlobalAlloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* memory = (flags & GMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                           : std::malloc(bytes ? bytes : 1);
    if (!memory) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ++liveBlocks;
    std::lock_guard<std::mutex> guard(kernelMutex);
    globalBlocks[memory] = bytes;
    return memory;
}

// Null once freed; the handle itself, with ERROR_INVALID_HANDLE, when it is
// none of GlobalAlloc's.
HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    if (!memory) return nullptr;
    {
        std::lock_guard<std::mutex> guard(kernelMutex);
        if (!globalBlocks.erase(memory)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
    }
    --liveBlocks;
    std::free(memory);
    return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL memory) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    auto found = globalBlocks.find(memory);
    if (found == globalBlocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return found->second;
}

}  // extern "C"

namespace win32layer {

void SetComputerName(const std::u16string& name) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    computerName = name;
}

void SetTempPath(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    tempPath = path;
}

void SetWindowsVersion(DWORD major, DWORD minor) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    windowsVersion[0] = major;
    windowsVersion[1] = minor;
}

size_t LiveHeapBlocks() { return liveBlocks; }

size_t OpenHandleCount() {
    std::lock_guard<std::mutex> guard(kernelMutex);
    return openHandles.size();
}

bool EventExists(const std::u16string& name) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    return namedEvents.count(detail::Lower(name)) != 0;
}

bool ThreadCallsDisabled(HMODULE module) {
    std::lock_guard<std::mutex> guard(kernelMutex);
    return threadCallsDisabled.count(module) != 0;
}

int CriticalSectionsHeld() { return sectionsHeld; }

namespace detail {

void ResetKernel() {
    std::lock_guard<std::mutex> guard(kernelMutex);
    for (EventHandle* handle : openHandles) {
        if (--handle->event->references == 0) delete handle->event;
        delete handle;
    }
    openHandles.clear();
    namedEvents.clear();
    threadCallsDisabled.clear();
    tempPath = kDefaultTempPath;
    computerName = kDefaultComputerName;
    windowsVersion[0] = kDefaultVersion[0];
    windowsVersion[1] = kDefaultVersion[1];
    lastError = 0;
}

}  // namespace detail
}  // namespace win32layer
