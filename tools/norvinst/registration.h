// "NORV Monitor" in the spooler: looked up, registered in one form or the
// other with its ports kept, and removed.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "common/wide_string.h"
#include "forms.h"

struct MonitorEntry {
    bool found = false;
    WCHAR dll[kPortStringUnits] = {};
};

// The spooler's entry for the monitor; false (with the user told) when the
// spooler cannot be asked.
bool FindMonitor(MonitorEntry* entry);

// The form of a registered DLL name, or null.
const Form* FormOfDll(LPCWSTR dll);

// The form this Windows can run: modern from Windows Vista on.
const Form& DefaultForm();

// The spooler environment of this Windows' own architecture.
LPCWSTR NativeEnvironment();

// Refuses (kExitWrongWindows, user told) a norvinst built for another
// architecture than this Windows': the spooler adds only monitors of its own.
int CheckArchitecture();

// DeleteMonitorW of the monitor; false, with the user told why, when the
// spooler refuses.
bool DeleteRegistration();

// Removes a registration of another form than `form`, keeping its ports for
// RegisterForm; kExitOk or kExitSpooler.
class PortValues;
int RemoveOtherForm(const MonitorEntry& existing, const Form& form, PortValues* ports);

// AddMonitorW for `form`, with the kept ports written first so that the
// monitor's first load finds them; *already when it was registered.
int RegisterForm(const Form& form, const PortValues& ports, bool* already);

// The numbered port values under the monitor's key.
class PortValues {
public:
    PortValues() = default;
    PortValues(const PortValues&) = delete;
    PortValues& operator=(const PortValues&) = delete;
    ~PortValues();
    // Reads them all; false when memory runs out (then none are kept).
    bool Read();
    // Writes them back, creating the key; false on any failed write.
    bool Write() const;
    DWORD Count() const { return count_; }

private:
    typedef WCHAR Value[kPortStringUnits + 1];
    Value* values_ = nullptr;
    DWORD count_ = 0;
};

// The commands an installer package runs: register the DLLs already in the
// system directory, or remove the registration and the ports. No file is
// copied or deleted.
int Register(const Form* chosen);
int Unregister(LPCWSTR upgradeCode, LPCWSTR productCode);
