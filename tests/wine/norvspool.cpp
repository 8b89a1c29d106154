// norvspool: a small spooler client for the demo. It does what a user does
// on a printer's port page, and tells in plain lines what it saw.
//
//   norvspool addport FOLDER      add a port, picking FOLDER in the browser
//   norvspool configure PORT      configure a port
//   norvspool deleteport PORT     delete a port
//   norvspool print PORT DOC      print a short raw document named DOC on a
//                                 printer on PORT (made if missing)
//   norvspool printer PORT        make that printer, the default one, and
//                                 tell its page size
//   norvspool removeprinter       delete that printer
//
// Options (before the command): --shots DIR NAME asks for a screenshot of
// each dialog, named NAME01, NAME02, ... (see DialogDriver); --window passes
// a window of this program to the port calls, as a port page does: the
// modern pair's UI DLL shows its dialogs only to an owner window.
//
// Exit code 0 when the spooler accepted the call, 1 on bad usage, 2 when the
// spooler refused it.

#include <windows.h>
#include <winspool.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "dialog_driver.h"
#include "spooler_client.h"

namespace {

const wchar_t kPrinterName[] = L"NORV Demo Printer";

void Say(const std::string& line) {
    std::string text = line + "\n";
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

// A dialog's text on one line: its lines joined by " / ", blank ones left out.
std::string OneLine(const std::wstring& text) {
    std::string all = norv::Narrow(text), line;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string part = all.substr(start, end - start);
        if (!part.empty() && part.back() == '\r') part.pop_back();
        if (!part.empty()) line += (line.empty() ? "" : " / ") + part;
        start = end + 1;
    }
    return line;
}

void Report(const DialogDriver& driver) {
    for (const SeenDialog& dialog : driver.Seen()) {
        std::string line = dialog.folderBrowser ? "folder browser \"" : "message box \"";
        line += OneLine(dialog.caption) + "\": " + OneLine(dialog.text);
        if (dialog.folderBrowser) line += " -> chose \"" + OneLine(dialog.selected) + "\"";
        if (!dialog.screenshot.empty()) line += " [" + norv::Narrow(dialog.screenshot) + ".png]";
        Say(line);
    }
    if (driver.Seen().empty()) Say("no dialog was shown");
}

int Refused(const char* call) {
    Say(std::string(call) + " failed with error " + std::to_string(GetLastError()));
    return 2;
}

// A refused port call still showed its boxes: they are told first.
int Refused(const char* call, const DialogDriver& driver) {
    DWORD error = GetLastError();
    Report(driver);
    SetLastError(error);
    return Refused(call);
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring shotDirectory, shotName;
    if (args.size() >= 3 && args[0] == L"--shots") {
        shotDirectory = args[1];
        shotName = args[2];
        args.erase(args.begin(), args.begin() + 3);
    }
    HWND owner = nullptr;
    if (!args.empty() && args[0] == L"--window") {
        owner = CreateWindowExW(0, L"STATIC", L"NORV port page", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        if (owner == nullptr) return Refused("CreateWindowExW");
        args.erase(args.begin());
    }
    if (args.empty()) {
        Say("usage: norvspool [--shots DIR NAME] [--window] addport FOLDER | configure PORT | deleteport PORT |"
            " print PORT DOC | printer PORT | removeprinter");
        return 1;
    }

    DialogDriver driver;
    if (!shotDirectory.empty()) driver.TakeScreenshots(shotDirectory, shotName);
    const std::wstring& command = args[0];

    if (command == L"addport" && args.size() == 2) {
        norv::MakeFolder(args[1]);
        driver.ChooseFolder(args[1]);
        if (!AddPortW(nullptr, owner, const_cast<wchar_t*>(norv::kMonitorName))) return Refused("AddPortW", driver);
        Report(driver);
        return 0;
    }
    if (command == L"configure" && args.size() == 2) {
        norv::RouteWinePortCalls(args[1]);
        if (!ConfigurePortW(nullptr, owner, const_cast<wchar_t*>(args[1].c_str())))
            return Refused("ConfigurePortW", driver);
        Report(driver);
        return 0;
    }
    if (command == L"deleteport" && args.size() == 2) {
        norv::RouteWinePortCalls(args[1]);
        if (!DeletePortW(nullptr, owner, const_cast<wchar_t*>(args[1].c_str()))) return Refused("DeletePortW", driver);
        Report(driver);
        return 0;
    }
    if (command == L"print" && args.size() == 3) {
        norv::RouteWinePortCalls(args[1]);
        std::string data = "NORV demo page\r\nPrinted through the NORV port monitor.\r\n\f";
        norv::PrintResult result = norv::PrintRaw(kPrinterName, args[1], args[2], data);
        if (!result.ok) {
            Say(result.step + " failed with error " + std::to_string(result.error));
            return 2;
        }
        Say("printer \"" + norv::Narrow(kPrinterName) + "\" on port " + norv::Narrow(args[1]) + ": job " +
            std::to_string(result.jobId) + ", " + std::to_string(result.written) +
            " bytes written, document ended");
        return 0;
    }
    if (command == L"printer" && args.size() == 2) {
        norv::RouteWinePortCalls(args[1]);
        HANDLE printer = nullptr;
        norv::PrintResult made = norv::MakePrinter(kPrinterName, args[1], &printer);
        if (!made.ok) {
            Say(made.step + " failed with error " + std::to_string(made.error));
            return 2;
        }
        ClosePrinter(printer);
        if (!SetDefaultPrinterW(kPrinterName)) return Refused("SetDefaultPrinterW");
        HDC dc = CreateDCW(L"WINSPOOL", kPrinterName, nullptr, nullptr);
        if (dc == nullptr) return Refused("CreateDCW");
        int width = GetDeviceCaps(dc, PHYSICALWIDTH), height = GetDeviceCaps(dc, PHYSICALHEIGHT);
        int dpi = GetDeviceCaps(dc, LOGPIXELSX);
        DeleteDC(dc);
        Say("printer \"" + norv::Narrow(kPrinterName) + "\" on port " + norv::Narrow(args[1]) +
            " is the default printer; its page: " + std::to_string(width) + " x " + std::to_string(height) +
            " dots at " + std::to_string(dpi) + " dpi");
        if (width <= 0 || height <= 0) {
            Say("the page has no size: applications cannot print to this printer");
            return 2;
        }
        return 0;
    }
    if (command == L"removeprinter" && args.size() == 1) {
        if (!norv::DeletePrinterNamed(kPrinterName)) return Refused("DeletePrinter");
        Say("printer \"" + norv::Narrow(kPrinterName) + "\" deleted");
        return 0;
    }
    Say("norvspool: bad command line");
    return 1;
}
