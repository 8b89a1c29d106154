// Test control surface of the layer's file system: Windows drives and shares
// laid over native directories, so that the monitor's checks of a folder look
// at real files. Only tests and native tools include this.
#pragma once

#include <string>

namespace win32layer {

// Drive `letter` (either case) is the native directory `root`. Paths on a
// drive that is not mapped do not exist.
void MapDrive(char16_t letter, const std::string& root);
// The share \\server\share (names compare case-insensitively) is `root`.
void MapShare(const std::u16string& server, const std::u16string& share, const std::string& root);
// Where a full Windows path lies natively, components matched ignoring case as
// Windows does, or empty when no mapping holds it. A component that does not
// exist yet is appended as given, so tests can create it.
std::string NativePath(const std::u16string& path);
// What relative paths are resolved against (GetFullPathNameW); "C:\" after Reset.
void SetCurrentDirectory(const std::u16string& directory);

}  // namespace win32layer
