// A block of the process heap, freed when the holder goes out of scope.
#pragma once

#include <windows.h>

class HeapBuffer {
public:
    HeapBuffer() = default;
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    ~HeapBuffer() { Free(); }

    // Replaces the block by one of `bytes` zeroed bytes; false when the heap
    // has none to give.
    bool Allocate(SIZE_T bytes) {
        Free();
        data_ = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
        size_ = data_ ? bytes : 0;
        return data_ != nullptr;
    }

    BYTE* Bytes() const { return static_cast<BYTE*>(data_); }
    DWORD Size() const { return DWORD(size_); }
    template <typename T>
    T* As() const {
        return static_cast<T*>(data_);
    }

private:
    void Free() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
        data_ = nullptr;
        size_ = 0;
    }
    void* data_ = nullptr;
    SIZE_T size_ = 0;
};

// Calls an Enum* function of the spooler twice: for the size, then for the
// records. ERROR_SUCCESS, or the error of the second call.
template <typename EnumCall>
DWORD EnumerateInto(HeapBuffer* buffer, DWORD* count, DWORD minimum, EnumCall call) {
    DWORD needed = 0;
    *count = 0;
    call(nullptr, 0, &needed, count);
    if (!buffer->Allocate(needed + minimum)) return ERROR_NOT_ENOUGH_MEMORY;
    if (!call(buffer->Bytes(), buffer->Size(), &needed, count)) {
        *count = 0;
        return GetLastError();
    }
    return ERROR_SUCCESS;
}
