// The records the spooler and the monitor share, pinned at compile time for
// the Windows targets (ARM64 lays them out as x64 does, with the same
// figures): the x86 DLL is the reference, and on a host that runs
// no 32-bit programs nothing at run time would notice a shifted slot or a
// record of the wrong size. The native build checks the same x64 figures
// against the Win32 layer's headers.
#include <stddef.h>

#include "monitor/modern_table.h"
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

// The modern table: cbSize, then one pointer per slot from the first
// pointer-aligned place, with the SDK's MONITOR2 slots where MONITOR2 has
// them.
static_assert(offsetof(ModernTable, pfnEnumPorts) == sizeof(void*), "slots after cbSize");
static_assert(sizeof(ModernTable) == (kModernSlots + 1) * sizeof(void*), "ModernTable: 22 slots");
#define NORV_SLOT2(field, index)                                                     \
    static_assert(offsetof(ModernTable, field) == ((index) + 1) * sizeof(void*) &&    \
                      offsetof(ModernTable, field) == offsetof(MONITOR2, field),     \
                  #field " slot of MONITOR2")
NORV_SLOT2(pfnEnumPorts, 0);
NORV_SLOT2(pfnOpenPort, 1);
NORV_SLOT2(pfnOpenPortEx, 2);
NORV_SLOT2(pfnStartDocPort, 3);
NORV_SLOT2(pfnWritePort, 4);
NORV_SLOT2(pfnReadPort, 5);
NORV_SLOT2(pfnEndDocPort, 6);
NORV_SLOT2(pfnClosePort, 7);
NORV_SLOT2(pfnAddPort, 8);
NORV_SLOT2(pfnAddPortEx, 9);
NORV_SLOT2(pfnConfigurePort, 10);
NORV_SLOT2(pfnDeletePort, 11);
NORV_SLOT2(pfnGetPrinterDataFromPort, 12);
NORV_SLOT2(pfnSetPortTimeOuts, 13);
NORV_SLOT2(pfnXcvOpenPort, 14);
NORV_SLOT2(pfnXcvDataPort, 15);
NORV_SLOT2(pfnXcvClosePort, 16);
NORV_SLOT2(pfnShutdown, 17);
#undef NORV_SLOT2
static_assert(offsetof(ModernTable, pfnSendRecvBidiDataFromPort) == 19 * sizeof(void*), "bidi slot");
static_assert(offsetof(ModernTable, pfnPowerEvent) == kModernSlots * sizeof(void*), "last slot");
// Windows 2000's size: MONITOR2_SIZE_WIN2K rounded up to whole pointers.
static_assert(kWin2000TableSize == (kWin2000Slots + 1) * sizeof(void*), "Windows 2000 size");
static_assert(kWin2000TableSize >= MONITOR2_SIZE_WIN2K &&
                  kWin2000TableSize - MONITOR2_SIZE_WIN2K < sizeof(void*),
              "MONITOR2_SIZE_WIN2K and its padding");
static_assert(kWholeTableSize == P(92, 184), "the whole table");
static_assert(kWin2000TableSize == P(76, 152), "the Windows 2000 table");

static_assert(sizeof(monitorTable) == P(72, 144), "the table is a whole MONITOREX");
static_assert(kMonitorSize == P(56, 112), "dwMonitorSize: the fourteen classic slots");

}  // namespace
