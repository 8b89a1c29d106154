// Message boxes: recorded for tests instead of shown; the user always answers OK.
#include <mutex>

#include "layer_internal.h"

namespace {
std::mutex userMutex;
std::vector<win32layer::MessageBoxCall> boxes;
}  // namespace

extern "C" int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    win32layer::MessageBoxCall call;
    call.owner = owner;
    call.text = text ? text : u"";
    call.caption = caption ? caption : u"Error";
    call.type = type;
    call.lockHeld = win32layer::CriticalSectionsHeld() > 0;
    std::lock_guard<std::mutex> guard(userMutex);
    boxes.push_back(call);
    return IDOK;
}

namespace win32layer {

std::vector<MessageBoxCall> MessageBoxes() {
    std::lock_guard<std::mutex> guard(userMutex);
    return boxes;
}

void ClearMessageBoxes() {
    std::lock_guard<std::mutex> guard(userMutex);
    boxes.clear();
}

namespace detail {
void ResetUser() { ClearMessageBoxes(); }
}  // namespace detail
}  // namespace win32layer
