// The monitor's names, shared by the monitor DLLs and the UI DLL.
#include "monitor/state.h"

const WCHAR kMonitorName[] = TEXT("NORV Monitor");
const WCHAR kMonitorDescription[] = TEXT("Norvale Document Monitor");
const WCHAR kDefaultPortName[] = TEXT("NORV");
