// The exit codes of every command, listed for users in Usage() and the README.
#pragma once

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitFile = 2,
    kExitSpooler = 3,
    kExitNotInstalled = 4,
    kExitIncomplete = 5,
    kExitRemovalPending = 6,
    kExitPortRefused = 7,
    kExitPortPageOnly = 8,
    kExitWrongWindows = 9,
    kExitPortInUse = 10,
    kExitInstallerQuery = 11,
    kExitSignature = 12,
};
