// Appending: the head stored under the next number.
#include "ports/store_values.h"
#include "ports/store_writes.h"

// The deletion past its number comes first: a stale value there would load
// after it.
LSTATUS AppendHead(const StoreKey& key, const PortList* list) {
    const DWORD n = list->Count();
    const LSTATUS status = DeleteFrom(key, n + 1);
    return status == ERROR_SUCCESS ? WriteName(key, n, list, list->head) : status;
}
