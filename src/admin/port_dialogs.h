// The dialogs of port administration, shared by the legacy monitor's AddPort,
// ConfigurePort and DeletePort and by the UI DLL, so that both forms show the
// same browser and the same boxes, owned by the window they are given.
#pragma once

#include <windows.h>

#include "common/wide_string.h"
#include "strings/string_ids.h"

void Tell(HWND owner, LPCWSTR text, LPCWSTR caption);
// A box of texts from the string table (strings/string_ids.h), in the
// language the resource loader picks for this thread.
void Tell(HWND owner, UINT textId, UINT captionId);
void Tell(HWND owner, LPCWSTR text, UINT captionId);
// "Port already exists".
void TellTaken(HWND owner);
// The box of ConfigurePort: a port cannot be configured.
void TellNotConfigurable(HWND owner);
// "Port removed", naming the port, or the "Error" box of a failed removal.
void TellRemoved(HWND owner, LPCWSTR portName);
void TellNotRemoved(HWND owner);
// The "Error" box of a port that `printer` still prints to.
void TellInUse(HWND owner, LPCWSTR portName, LPCWSTR printer);

// The folder the user picks, as a port name ending in a backslash:
// ERROR_SUCCESS, ERROR_INVALID_NAME for a path with a comma (no port name can
// hold one), or ERROR_CANCELLED when the user cancelled or the folder cannot
// be a port otherwise. The user has been told of every refusal.
DWORD ChooseFolder(HWND owner, WCHAR (&path)[kPortStringUnits]);
