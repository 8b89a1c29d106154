// The monitor's one lock, guarding the port list, every port record and the
// registry rewrite. It is never taken by a thread that already holds it.
#pragma once

#include <windows.h>

void LockMonitor();
void UnlockMonitor();

// Holds the monitor lock for the life of a scope.
class MonitorLock {
public:
    MonitorLock() { LockMonitor(); }
    ~MonitorLock() { UnlockMonitor(); }
    MonitorLock(const MonitorLock&) = delete;
    MonitorLock& operator=(const MonitorLock&) = delete;
};
