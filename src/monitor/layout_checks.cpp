// The records the spooler and the monitor share, pinned at compile time for
// the Windows targets (ARM64 lays them out as x64 does, with the same
// figures): the x86 DLL is the reference, and on a host that runs
// no 32-bit programs nothing at run time would notice a shifted slot or a
// record of the wrong size. The native build checks the same x64 figures
// against the Win32 layer's headers.
#include <stddef.h>

#include "monitor/operations.h"

namespace {

constexpr bool kX86 = sizeof(void*) == 4;
constexpr size_t P(size_t x86, size_t x64) { return kX86 ? x86 : x64; }
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "x86, or x64 and ARM64 (64-bit pointers)");
static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits on both targets");

// MONITOREX: the size word, then the table (pointer-aligned on x64).
static_assert(sizeof(MONITOREX) == P(72, 144), "MONITOREX size");
static_assert(sizeof(MONITOR) == P(68, 136), "MONITOR: 17 slots");
static_assert(offsetof(MONITOREX, dwMonitorSize) == 0, "dwMonitorSize first");
static_assert(offsetof(MONITOREX, Monitor) == P(4, 8), "table after the size word");

// Each slot at its place: the spooler calls by offset.
#define NORV_SLOT(field, index) \
    static_assert(offsetof(MONITOR, field) == (index) * sizeof(void*), #field " slot")
NORV_SLOT(pfnEnumPorts, 0);
NORV_SLOT(pfnOpenPort, 1);
NORV_SLOT(pfnOpenPortEx, 2);
NORV_SLOT(pfnStartDocPort, 3);
NORV_SLOT(pfnWritePort, 4);
NORV_SLOT(pfnReadPort, 5);
NORV_SLOT(pfnEndDocPort, 6);
NORV_SLOT(pfnClosePort, 7);
NORV_SLOT(pfnAddPort, 8);
NORV_SLOT(pfnAddPortEx, 9);
NORV_SLOT(pfnConfigurePort, 10);
NORV_SLOT(pfnDeletePort, 11);
NORV_SLOT(pfnGetPrinterDataFromPort, 12);
NORV_SLOT(pfnSetPortTimeOuts, 13);
NORV_SLOT(pfnXcvOpenPort, 14);
NORV_SLOT(pfnXcvDataPort, 15);
NORV_SLOT(pfnXcvClosePort, 16);
#undef NORV_SLOT

// The records EnumPorts packs into the caller's buffer.
static_assert(sizeof(PORT_INFO_1W) == P(4, 8), "PORT_INFO_1W size");
static_assert(offsetof(PORT_INFO_1W, pName) == 0, "PORT_INFO_1W.pName");
static_assert(sizeof(PORT_INFO_2W) == P(20, 32), "PORT_INFO_2W size");
static_assert(offsetof(PORT_INFO_2W, pPortName) == 0, "PORT_INFO_2W.pPortName");
static_assert(offsetof(PORT_INFO_2W, pMonitorName) == P(4, 8), "PORT_INFO_2W.pMonitorName");
static_assert(offsetof(PORT_INFO_2W, pDescription) == P(8, 16), "PORT_INFO_2W.pDescription");
static_assert(offsetof(PORT_INFO_2W, fPortType) == P(12, 24), "PORT_INFO_2W.fPortType");
static_assert(offsetof(PORT_INFO_2W, Reserved) == P(16, 28), "PORT_INFO_2W.Reserved");


static_assert(sizeof(monitorTable) == P(72, 144), "the table is a whole MONITOREX");
static_assert(kMonitorSize == P(56, 112), "dwMonitorSize: the fourteen classic slots");

}  // namespace
