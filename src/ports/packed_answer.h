// EnumPorts' strings at level 1 or 2, packed once as they lie at the end of
// the caller's buffer, so that an answer is one copy and a pass that writes
// the records from a contiguous table, never a walk over the records.
#pragma once

#include "ports/port_list.h"

// The packed answer for `level` (1 or 2) as the list stands, made again when
// the list changed since it was made; null when it cannot be made (no memory),
// and the caller packs from the records instead.
const PackedAnswer* CurrentAnswer(PortList* list, DWORD level);

// Writes the answer into [buffer, buffer + size), which holds at least
// ListSize bytes: the records from the start, the strings at the very end,
// the gap between them untouched.
void WriteAnswer(const PackedAnswer* answer, DWORD level, LPBYTE buffer, DWORD size);
