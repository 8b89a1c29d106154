#include "monitor/lock.h"

#include "monitor/state.h"

void LockMonitor() { EnterCriticalSection(&monitorLock); }
void UnlockMonitor() { LeaveCriticalSection(&monitorLock); }
