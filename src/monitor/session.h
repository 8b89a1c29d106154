// A monitor session, from the spooler's initialisation to its shutdown (or the
// module's detach). Both entry points bind the store, then call these under
// the monitor lock.
#pragma once

// True from StartMonitor to StopMonitor.
extern bool monitorStarted;

// Makes the monitor's event and loads the stored ports into the list, storing
// the default port when none is stored.
void StartMonitor();
// Releases what StartMonitor and the store binding made.
void StopMonitor();

