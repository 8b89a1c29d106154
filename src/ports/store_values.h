// The store's values one at a time: their names (decimal numbers), reading a
// port's name from one, writing one, and clearing those past the list.
#pragma once

#include "ports/port_list.h"
#include "ports/store_key.h"

// Value names are decimal numbers: at most 10 digits and a terminator.
struct ValueName {
    explicit ValueName(DWORD n) { FormatDecimal(n, text); }
    WCHAR text[11];
};

// Reads stored value `n` into `name`, terminated. The numbering ends at a
// missing value or one too long for a port (EndsNumbering); any other
// failure leaves stored ports unread. `inSavedForm` (when asked for) tells
// whether the value is in the form a save writes: the name and its
// terminator, nothing more.
LSTATUS ReadStoredName(const StoreKey& key, DWORD n, WCHAR (&name)[kPortStringUnits],
                       bool* inSavedForm = nullptr);
bool EndsNumbering(LSTATUS status);

// Writes `record`'s listed name, with its terminator, as value `n`.
LSTATUS WriteName(const StoreKey& key, DWORD n, const PortList* list, const PortRecord* record);
// Deletes the values from `first` on, up to the first one missing.
LSTATUS DeleteFrom(const StoreKey& key, DWORD first);
