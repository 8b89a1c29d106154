// Test control surface of the layer's shell (folder browser, task allocator)
// and of the spooler library the monitor loads for its duplicate check. Only
// tests and native tools include this.
#pragma once

#include <windows.h>
#include <winsplp.h>

#include <string>
#include <vector>

#include "control.h"

namespace win32layer {

// ---- Folder browser ----
// The user's answers, one per SHBrowseForFolderW call, in order. A call with
// no answer left is cancelled.
// A folder of the file system, e.g. u"D:\\Scans" or the drive root u"E:\\".
void ChooseFolder(const std::u16string& path);
// A shell folder that has no file-system path (a library, the network, ...).
void ChooseFolderWithoutPath(const std::u16string& displayName = u"Network");
void CancelFolderBrowser();

// What the folder browser was given.
struct FolderBrowserCall {
    HWND owner = nullptr;
    bool hasRoot = false;  // pidlRoot set; none means the desktop
    bool hasTitle = false;
    std::u16string title;
    UINT flags = 0;
    bool hasCallback = false;
    bool hasDisplayNameBuffer = false;
    bool lockHeld = false;  // the caller held a critical section
};
std::vector<FolderBrowserCall> FolderBrowserCalls();

// ---- Task allocator (SHGetMalloc, CoTaskMemFree) ----
enum class AllocatorEvent { GetMalloc, AddRef, Free, Release, CoTaskMemFree };
// What was done with the allocator since the last Reset, in order.
std::vector<AllocatorEvent> AllocatorEvents();
// References handed out (SHGetMalloc, AddRef) and not released.
long AllocatorReferences();
// Item lists from the folder browser not yet freed. Like heap blocks, these
// stay counted across Reset.
size_t LiveItemLists();
// Frees of, and path look-ups in, memory the allocator did not hand out or
// already took back. A real allocator would corrupt its heap.
unsigned AllocatorMisuses();

// ---- Spooler library ("SPOOLSS.DLL") ----
typedef LPMONITOREX(WINAPI* InitializeMonitorProc)(LPWSTR registryRoot);
// The monitor the simulated spooler hosts: before each EnumPortsW it calls
// `initialize` with `root`, as a host that loads monitors per process does,
// and lists the ports the table's EnumPorts answers.
void SetSpoolerMonitor(InitializeMonitorProc initialize, const std::u16string& root);
// Ports of the spooler's other monitors, listed before the hosted monitor's.
// By default "LPT1:", "COM1:" and "FILE:".
void SetOtherPorts(const std::vector<std::u16string>& ports);
// LoadLibraryW calls that loaded the spooler library, FreeLibrary calls that
// released a reference, and the references held now.
unsigned SpoolerLoads();
unsigned SpoolerFrees();
int SpoolerReferences();
// InitializePrintMonitor calls made by the simulated spooler.
unsigned SpoolerMonitorInitializations();

struct EnumPortsCall {
    bool serverNamed = false;
    DWORD level = 0;
    bool bufferGiven = false;
    DWORD bufferBytes = 0;
    bool lockHeld = false;  // the caller held a critical section
};
std::vector<EnumPortsCall> EnumPortsCalls();

// ---- Making threads meet ----
// The next calls of `api` meet in `rounds` rounds: in each, every caller waits
// until `parties` callers have arrived, so that they go on together.
// SHBrowseForFolderW callers meet before the user answers, EnumPortsW callers
// after each has its answer. A thread that will come no more calls LeaveGate,
// so nobody waits for it; a caller holding a critical section never waits.
void GateCalls(Api api, unsigned parties, unsigned rounds = 1);
void LeaveGate(Api api);

}  // namespace win32layer
