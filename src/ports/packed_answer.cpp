#include "ports/packed_answer.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <winspool.h>

#include "ports/enumeration.h"

// One heap block: this header, then `tops`, then the strings as they lie at
// the end of an answer. tops[0] is 0 and tops[i + 1] is how far below the end
// port i's strings begin, so every pointer of an answer is its end minus a top.
struct PackedAnswer {
    unsigned long long changes;  // the list's `changes` it was packed at
    DWORD count;
    DWORD stringBytes;
    DWORD monitorNameBytes;
    DWORD descriptionBytes;
};

namespace {

DWORD* Tops(PackedAnswer* answer) { return reinterpret_cast<DWORD*>(answer + 1); }
const DWORD* Tops(const PackedAnswer* answer) {
    return reinterpret_cast<const DWORD*>(answer + 1);
}
const BYTE* Strings(const PackedAnswer* answer) {
    return reinterpret_cast<const BYTE*>(Tops(answer) + answer->count + 1);
}

template <typename T>
void Put(LPBYTE at, T value) {
    memcpy(at, &value, sizeof(value));
}

// The string `below` bytes under the answer's end.
LPWSTR Under(LPBYTE end, DWORD below) { return reinterpret_cast<LPWSTR>(end - below); }

PackedAnswer* Pack(const PortList* list, DWORD level) {
    const DWORD record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const unsigned long long strings =
        ListSize(list, level) - list->count * (unsigned long long)record;
    const unsigned long long total =
        sizeof(PackedAnswer) + (list->count + 1ull) * sizeof(DWORD) + strings;
    // No caller's buffer (a DWORD's worth) could take more.
    if (strings > 0xFFFFFFFFull || total > SIZE_MAX) return nullptr;
    auto* answer = static_cast<PackedAnswer*>(HeapAlloc(GetProcessHeap(), 0, size_t(total)));
    if (!answer) return nullptr;
    answer->changes = list->changes;
    answer->count = list->count;
    answer->stringBytes = DWORD(strings);
    answer->monitorNameBytes = list->monitorNameBytes;
    answer->descriptionBytes = list->descriptionBytes;

    DWORD* tops = Tops(answer);
    BYTE* end = const_cast<BYTE*>(Strings(answer)) + strings;
    const DWORD shared = level == 2 ? list->descriptionBytes + list->monitorNameBytes : 0;
    DWORD top = 0;
    DWORD packed = 0;
    tops[0] = 0;
    for (const PortRecord* port = list->head; port->next && packed < list->count;
         port = port->next) {
        // Level 2 lies, from low to high: port name, description, monitor name.
        top += shared;
        memcpy(end - top, list->level2Strings, shared);
        const DWORD nameBytes = (port->nameUnits + 1) * sizeof(WCHAR);
        top += nameBytes;
        memcpy(end - top, port->name, nameBytes);
        tops[++packed] = top;
    }
    // The kept count and lengths disagree with the records: pack from them.
    if (packed != list->count || top != strings) {
        HeapFree(GetProcessHeap(), 0, answer);
        return nullptr;
    }
    return answer;
}

}  // namespace

const PackedAnswer* CurrentAnswer(PortList* list, DWORD level) {
    PackedAnswer*& kept = list->packedAnswers[level == 1 ? 0 : 1];
    if (kept && kept->changes == list->changes) return kept;
    if (kept) HeapFree(GetProcessHeap(), 0, kept);
    kept = Pack(list, level);
    return kept;
}

void WriteAnswer(const PackedAnswer* answer, DWORD level, LPBYTE buffer, DWORD size) {
    LPBYTE end = buffer + size;
    memcpy(end - answer->stringBytes, Strings(answer), answer->stringBytes);
    // Kept in locals: the stores into the caller's buffer could otherwise be
    // taken to change the answer, and every field would be read again.
    const DWORD count = answer->count;
    const DWORD* tops = Tops(answer);
    // Records go through memcpy: the caller's buffer need not be aligned.
    if (level == 1) {
        for (DWORD i = 0; i < count; ++i)
            Put(buffer + i * sizeof(PORT_INFO_1W) + offsetof(PORT_INFO_1W, pName),
                Under(end, tops[i + 1]));
        return;
    }
    const DWORD monitorNameBytes = answer->monitorNameBytes;
    const DWORD belowTop = monitorNameBytes + answer->descriptionBytes;
    for (DWORD i = 0; i < count; ++i) {
        // Field by field: a record built on the stack and copied whole would
        // be read back before its stores had landed, a stall per record.
        LPBYTE record = buffer + i * sizeof(PORT_INFO_2W);
        Put(record + offsetof(PORT_INFO_2W, pPortName), Under(end, tops[i + 1]));
        Put(record + offsetof(PORT_INFO_2W, pMonitorName), Under(end, tops[i] + monitorNameBytes));
        Put(record + offsetof(PORT_INFO_2W, pDescription), Under(end, tops[i] + belowTop));
        Put(record + offsetof(PORT_INFO_2W, fPortType), DWORD(0));
        Put(record + offsetof(PORT_INFO_2W, Reserved), DWORD(0));
    }
}
