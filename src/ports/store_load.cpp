// Loading the store into the list at initialisation.
#include "ports/port_store.h"

#include "ports/store_values.h"

bool LoadPorts(PortList* list, LPCWSTR root) {
    if (!list) return false;
    StoreKey key(root, KEY_QUERY_VALUE);
    bool complete = key || key.status() == ERROR_FILE_NOT_FOUND;
    // Every value read is as a save of the list writes it: then the store
    // mirrors the list, and changes may rewrite only the values they touch.
    bool asSaved = complete && list->Count() == 0;
    for (DWORD i = 1; key; ++i) {
        WCHAR name[kPortStringUnits];
        bool inSavedForm = false;
        LSTATUS status = ReadStoredName(key, i, name, &inSavedForm);
        if (status != ERROR_SUCCESS) {
            if (!EndsNumbering(status)) complete = false;
            // A value too long to be a port still holds the next number.
            if (status != ERROR_FILE_NOT_FOUND) asSaved = false;
            break;
        }
        // An empty name is no port, and a name listed already is the port
        // stored under the lower value: skip them and read on.
        if (!name[0] || list->FindListed(name)) {
            asSaved = false;
            continue;
        }
        PortRecord* record = list->MakeStoredRecord(name);
        if (record) list->Push(record);
        else complete = false;
        asSaved = asSaved && record && inSavedForm && WideEqual(list->DisplayName(record), name);
    }
    list->missesStoredPorts = !complete;
    list->storeMirrorsList = asSaved && complete;
    return complete;
}
