// The boxes in the user's language: which string table the resource loader
// picks for the thread that shows a box, and the loader's own answers.
#include "control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "shell_control.h"
#include "strings/string_ids.h"

#include <cctype>

#include <shlobj.h>

using namespace harness;

namespace {

constexpr LANGID kEnUs = 0x409, kDeDe = 0x407, kDeCh = 0x807, kFrFr = 0x40c;

enum class Box { Removed, NotRemoved, NotConfigurable, InvalidLevel, BrowserTitle };

struct Case {
    const char* name;
    LANGID thread, user, system;
    Box box;
    const char16_t* caption;  // null for the folder browser
    const char16_t* text;     // a box's text or the browser's title
};

const Case kCases[] = {
    {"German user", 0, kDeDe, kEnUs, Box::Removed, u"Anschluss entfernt",
     u"Der Anschluss \"D:\\100%1\\\" wurde entfernt."},
    {"German user, browser", 0, kDeDe, kEnUs, Box::BrowserTitle, nullptr,
     u"Wählen Sie das Ausgabeverzeichnis aus:"},
    {"Swiss German user", 0, kDeCh, kEnUs, Box::NotConfigurable, u"NORV Monitor",
     u"Dieser Anschluss kann nicht konfiguriert werden.\n\nFügen Sie einen neuen Anschluss "
     u"hinzu, um das Ausgabeverzeichnis zu ändern."},
    {"French, no table: English", 0, kFrFr, kFrFr, Box::NotRemoved, u"Error",
     u"An unknown error has occurred\n\nCouldn't remove the port."},
    {"French user on a German system", 0, kFrFr, kDeDe, Box::NotRemoved, u"Fehler",
     u"Ein unbekannter Fehler ist aufgetreten.\n\nDer Anschluss konnte nicht entfernt werden."},
    {"English user on a German system", 0, kEnUs, kDeDe, Box::Removed, u"Port removed",
     u"Port \"D:\\100%1\\\" successfully removed."},
    {"German thread, English user", kDeDe, kEnUs, kEnUs, Box::InvalidLevel, u"Ungültige Ebene",
     u"Fehler"},
};

class TextsTest : public MonitorTest, public ::testing::WithParamInterface<Case> {};

TEST_P(TextsTest, BoxIsInTheLanguageTheLoaderPicks) {
    const Case& c = GetParam();
    // A port whose name holds a %1: the name goes in as it is.
    StoreString(kRoot, u"1", u"D:\\100%1\\");
    monitor.Start();
    win32layer::SetUiLanguages(c.user, c.system);
    SetThreadUILanguage(c.thread);
    HWND owner = reinterpret_cast<HWND>(0x1234);
    switch (c.box) {
    case Box::Removed: monitor.ops().pfnDeletePort(nullptr, owner, W(u"D:\\100%1\\")); break;
    case Box::NotRemoved: monitor.ops().pfnDeletePort(nullptr, owner, W(u"D:\\None\\")); break;
    case Box::NotConfigurable: monitor.ops().pfnConfigurePort(nullptr, owner, W(u"NORV")); break;
    case Box::InvalidLevel: {
        DWORD needed = 0, returned = 0;
        monitor.ops().pfnEnumPorts(nullptr, 3, nullptr, 0, &needed, &returned);
        break;
    }
    case Box::BrowserTitle:
        win32layer::CancelFolderBrowser();
        monitor.ops().pfnAddPort(nullptr, owner, W(u"NORV Monitor"));
        break;
    }
    SetThreadUILanguage(0);
    if (c.box == Box::BrowserTitle) {
        const auto calls = win32layer::FolderBrowserCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(U8(calls[0].title), U8(c.text));
        EXPECT_TRUE(win32layer::MessageBoxes().empty());
        return;
    }
    const auto boxes = win32layer::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(U8(boxes[0].caption), U8(c.caption));
    EXPECT_EQ(U8(boxes[0].text), U8(c.text));
}

INSTANTIATE_TEST_SUITE_P(Languages, TextsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

// LoadStringW as Windows answers it: a missing id, a buffer too small, the
// read-only form with no buffer size, and an explicit language it lacks.
TEST(LoadStringTest, AnswersAsWin32Does) {
    win32layer::Reset();
    HMODULE image = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&kCases), &image));
    WCHAR buffer[8] = {u'x', u'x', 0};
    // An id in no block, and one in a block that lacks it.
    EXPECT_EQ(LoadStringW(image, 4000, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(image, 99, buffer, 8), 0);
    EXPECT_EQ(buffer[0], 0);

    // "Port removed" cut to 7 units and terminated.
    EXPECT_EQ(LoadStringW(image, IDS_REMOVED_CAPTION, buffer, 8), 7);
    EXPECT_EQ(U8(buffer), "Port re");
    EXPECT_EQ(LoadStringW(image, IDS_REMOVED_CAPTION, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);

    const WCHAR* text = nullptr;
    EXPECT_EQ(LoadStringW(image, IDS_REMOVED_CAPTION, reinterpret_cast<LPWSTR>(&text), 0), 12);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(U8(std::u16string(text, 12)), "Port removed");

    SetLastError(0);
    EXPECT_EQ(FindResourceExW(image, RT_STRING, MAKEINTRESOURCEW(IDS_ERROR / 16 + 1), kFrFr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(FindResourceExW(image, RT_STRING, MAKEINTRESOURCEW(4000 / 16 + 1), 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

}  // namespace
