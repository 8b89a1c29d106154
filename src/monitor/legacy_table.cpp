#include "monitor/operations.h"

// Laid out as the SDK's MONITOR record. The size counts the fourteen classic
// slots; the Xcv slots after them stay null for the hosts that read them
// anyway. layout_checks.cpp pins the layout.
const MONITOREX monitorTable = {
    kMonitorSize,
    {
        EnumPorts,
        OpenPort,
        nullptr,  // OpenPortEx
        StartDocPort,
        WritePort,
        ReadPort,
        EndDocPort,
        ClosePort,
        AddPort,
        AddPortEx,
        ConfigurePort,
        DeletePort,
        nullptr,  // GetPrinterDataFromPort
        nullptr,  // SetPortTimeOuts
        nullptr,  // XcvOpenPort
        nullptr,  // XcvDataPort
        nullptr,  // XcvClosePort
    },
};
