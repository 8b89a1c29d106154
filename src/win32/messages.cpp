// The system's message texts, for the codes the monitor's dialogs may meet.
#include <cstring>

#include "layer_internal.h"

namespace {

struct Message {
    DWORD code;
    const char16_t* text;
};

const Message kMessages[] = {
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
    {ERROR_UNKNOWN_PORT, u"The specified port is unknown.\r\n"},
    {ERROR_INVALID_PRINTER_NAME, u"The printer name is invalid.\r\n"},
};

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD,
                                       LPWSTR buffer, DWORD size, void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const Message& message : kMessages) {
        if (message.code != messageId) continue;
        const DWORD length = DWORD(std::char_traits<char16_t>::length(message.text));
        if (length + 1 > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, message.text, (length + 1) * sizeof(WCHAR));
        return length;
    }
    SetLastError(317);  // ERROR_MR_MID_NOT_FOUND
    return 0;
}
