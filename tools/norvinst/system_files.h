// The monitor's DLLs in the system directory: checked, copied and deleted.
#pragma once

#include <windows.h>

#include "forms.h"
#include "host.h"

// dir + "\" + name into path.
void JoinPath(WCHAR (&path)[kPathUnits], LPCWSTR dir, LPCWSTR name);

bool FileExists(LPCWSTR path);
bool SamePath(LPCWSTR a, LPCWSTR b);

// The machine field of a PE file's header; 0 if it is not a PE image, with
// *error set when the file cannot be read.
WORD ImageMachine(LPCWSTR path, DWORD* error);

// True when the PE file carries an Authenticode signature (a certificate
// table), whether or not it verifies.
bool HasEmbeddedSignature(LPCWSTR path);

// A DLL to be installed or registered: present and built for `machine`.
// kExitOk, or kExitFile after telling the user why not; `hint` is printed
// after a missing file.
int CheckDll(LPCWSTR path, WORD machine, LPCWSTR hint);

// Copies from to dir\name; kExitOk or kExitFile.
int CopyDll(LPCWSTR from, LPCWSTR dir, LPCWSTR name);

// Deletes the monitor's DLLs in dir, except those of `keep` (null: all);
// kExitOk, kExitRemovalPending (deleted at the next restart) or kExitFile.
int DeleteDlls(LPCWSTR dir, const Form* keep);

// Deletes dir\name if present, as DeleteDlls does.
int DeleteDll(LPCWSTR dir, LPCWSTR name);
