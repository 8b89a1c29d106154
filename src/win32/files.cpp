// Path names and file attributes. GetFullPathNameW follows the rules of the
// Windows loader's path code, as Wine implements them: '/' is '\', repeated
// separators collapse, "." and ".." go, one dot ending an inner component and
// every dot and space ending the last one are dropped, and ".." stops at the
// root ("C:\" or "\\server\share\"). Files live in native directories that
// tests map drives and shares to, looked up ignoring case.
#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

#include "files_control.h"
#include "layer_internal.h"

using namespace win32layer;

namespace {

std::mutex filesMutex;
std::map<char16_t, std::string> drives;        // upper-case letter -> native root
std::map<std::u16string, std::string> shares;  // lower-case "server\share" -> native root
const std::u16string kDefaultCurrentDirectory = u"C:\\";
std::u16string currentDirectory = kDefaultCurrentDirectory;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

enum class PathType { Unc, Device, DriveAbsolute, DriveRelative, Rooted, Relative };

PathType TypeOf(const std::u16string& p) {
    if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
        if (p.size() >= 3 && (p[2] == u'.' || p[2] == u'?') && (p.size() == 3 || IsSeparator(p[3])))
            return PathType::Device;
        return PathType::Unc;
    }
    if (!p.empty() && IsSeparator(p[0])) return PathType::Rooted;
    if (p.size() >= 2 && p[1] == u':')
        return p.size() >= 3 && IsSeparator(p[2]) ? PathType::DriveAbsolute : PathType::DriveRelative;
    return PathType::Relative;
}

// Length of "\\server\share\" at the start of a UNC path, separators included.
size_t UncPrefix(const std::u16string& p) {
    size_t i = 2;
    while (i < p.size() && !IsSeparator(p[i])) ++i;
    while (i < p.size() && IsSeparator(p[i])) ++i;
    while (i < p.size() && !IsSeparator(p[i])) ++i;
    while (i < p.size() && IsSeparator(p[i])) ++i;
    return i;
}

// Removes "." and ".." components and the dots and spaces Windows drops; the
// first `mark` units (the root) are never touched.
std::u16string Collapse(std::u16string path, size_t mark) {
    for (auto& c : path)
        if (c == u'/') c = u'\\';
    std::u16string s;
    for (size_t i = 0; i < path.size(); ++i) {
        if (i >= (mark > 1 ? mark : 1) && path[i] == u'\\' && s.back() == u'\\') continue;
        s += path[i];
    }
    size_t p = mark;
    while (p < s.size()) {
        if (s[p] == u'.') {
            const char16_t next = p + 1 < s.size() ? s[p + 1] : 0;
            if (next == u'\\') {  // ".\"
                s.erase(p, 2);
                continue;
            }
            if (next == 0) {  // a final "."
                if (p > mark) --p;
                s.erase(p);
                continue;
            }
            if (next == u'.') {
                const char16_t after = p + 2 < s.size() ? s[p + 2] : 0;
                if (after == u'\\' || after == 0) {  // "..\" or a final ".."
                    const size_t end = after ? p + 3 : p + 2;
                    size_t start = p;
                    if (start > mark) {
                        --start;
                        while (start > mark && s[start - 1] != u'\\') --start;
                        if (!after && start > mark) --start;
                    }
                    s.erase(start, end - start);
                    p = start;
                    continue;
                }
            }
        }
        while (p < s.size() && s[p] != u'\\') ++p;
        if (p < s.size()) {
            if (p > mark && s[p - 1] == u'.') s.erase(p - 1, 1);
            else ++p;
        }
    }
    size_t end = s.size();
    while (end > mark && (s[end - 1] == u' ' || s[end - 1] == u'.')) --end;
    s.erase(end);
    return s;
}

// The full path, or false for a name Windows cannot make one of.
bool FullPath(const std::u16string& name, std::u16string* full) {
    if (name.empty()) return false;
    std::u16string cwd;
    {
        std::lock_guard<std::mutex> guard(filesMutex);
        cwd = currentDirectory;
    }
    switch (TypeOf(name)) {
        case PathType::Unc: *full = Collapse(name, UncPrefix(name)); return true;
        case PathType::Device: *full = Collapse(name, name.size() < 4 ? name.size() : 4); return true;
        case PathType::DriveAbsolute: *full = Collapse(name, 3); return true;
        case PathType::DriveRelative: {
            const bool sameDrive = Upper(cwd[0]) == Upper(name[0]);
            std::u16string base = sameDrive ? cwd : std::u16string{Upper(name[0]), u':', u'\\'};
            *full = Collapse(base + name.substr(2), 3);
            return true;
        }
        case PathType::Rooted: *full = Collapse(cwd.substr(0, 2) + name, 3); return true;
        case PathType::Relative: *full = Collapse(cwd + name, 3); return true;
    }
    return false;
}

bool InvalidInName(char16_t c) {
    return c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
           c == u'*';
}

// The entry of native directory `dir` named `name` ignoring case; empty if none.
std::string MatchEntry(const std::string& dir, const std::string& name) {
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0) return name;
    DIR* d = opendir(dir.c_str());
    if (!d) return std::string();
    std::string found;
    const std::u16string wanted = detail::Lower(U16(name));
    while (dirent* entry = readdir(d)) {
        if (detail::Lower(U16(entry->d_name)) == wanted) {
            found = entry->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

// Splits a full path into its native root and its components; false (with
// the error Windows gives) when no drive or share is mapped there.
bool Locate(const std::u16string& full, std::string* root, std::vector<std::u16string>* parts,
            DWORD* error) {
    size_t start = 0;
    if (TypeOf(full) == PathType::DriveAbsolute) {
        std::lock_guard<std::mutex> guard(filesMutex);
        auto found = drives.find(Upper(full[0]));
        if (found == drives.end()) {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        *root = found->second;
        start = 3;
    } else if (TypeOf(full) == PathType::Unc) {
        start = UncPrefix(full);
        std::u16string key = detail::Lower(full.substr(2, start - 2));
        while (!key.empty() && key.back() == u'\\') key.pop_back();
        std::lock_guard<std::mutex> guard(filesMutex);
        auto found = shares.find(key);
        if (found == shares.end()) {
            *error = ERROR_BAD_NETPATH;
            return false;
        }
        *root = found->second;
    } else {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    std::u16string part;
    for (size_t i = start; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == u'\\') {
            if (!part.empty()) parts->push_back(part);
            part.clear();
        } else {
            part += full[i];
        }
    }
    return true;
}

}  // namespace

extern "C" DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer,
                                         LPWSTR* filePart) {
    if (filePart) *filePart = nullptr;
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string full;
    if (!FullPath(fileName, &full)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const DWORD length = DWORD(full.size());
    if (!buffer || length + 1 > bufferLength) return length + 1;
    for (DWORD i = 0; i <= length; ++i) buffer[i] = i < length ? full[i] : 0;
    if (filePart && length && buffer[length - 1] != u'\\') {
        LPWSTR last = buffer;
        for (LPWSTR p = buffer; *p; ++p)
            if (*p == u'\\') last = p + 1;
        *filePart = last;
    }
    return length;
}

extern "C" DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
    std::u16string full;
    if (!fileName || !FullPath(fileName, &full)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string native;
    std::vector<std::u16string> parts;
    DWORD error = 0;
    if (!Locate(full, &native, &parts, &error)) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        for (char16_t c : parts[i]) {
            if (InvalidInName(c)) {
                SetLastError(ERROR_INVALID_NAME);
                return INVALID_FILE_ATTRIBUTES;
            }
        }
        const std::string entry = MatchEntry(native, U8(parts[i]));
        struct stat st;
        if (entry.empty() || stat((native + "/" + entry).c_str(), &st) != 0) {
            SetLastError(i + 1 == parts.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
            return INVALID_FILE_ATTRIBUTES;
        }
        native += "/" + entry;
        if (i + 1 < parts.size() && !S_ISDIR(st.st_mode)) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_FILE_ATTRIBUTES;
        }
    }
    struct stat st;
    if (stat(native.c_str(), &st) != 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

namespace win32layer {

void MapDrive(char16_t letter, const std::string& root) {
    std::lock_guard<std::mutex> guard(filesMutex);
    drives[Upper(letter)] = root;
}

void MapShare(const std::u16string& server, const std::u16string& share, const std::string& root) {
    std::lock_guard<std::mutex> guard(filesMutex);
    shares[detail::Lower(server + u"\\" + share)] = root;
}

std::string NativePath(const std::u16string& path) {
    std::u16string full;
    std::string native;
    std::vector<std::u16string> parts;
    DWORD error = 0;
    if (!FullPath(path, &full) || !Locate(full, &native, &parts, &error)) return std::string();
    for (const auto& part : parts) {
        std::string entry = MatchEntry(native, U8(part));
        native += "/" + (entry.empty() ? U8(part) : entry);
    }
    return native;
}

void SetCurrentDirectory(const std::u16string& directory) {
    std::lock_guard<std::mutex> guard(filesMutex);
    currentDirectory = directory;
}

namespace detail {
void ResetFiles() {
    std::lock_guard<std::mutex> guard(filesMutex);
    drives.clear();
    shares.clear();
    currentDirectory = kDefaultCurrentDirectory;
}
}  // namespace detail
}  // namespace win32layer
