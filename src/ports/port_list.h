// The monitor's ports: an in-memory list of records, newest first, ending in
// a sentinel. The address of a record is the port handle the spooler holds.
#pragma once

#include <windows.h>

#include "common/wide_string.h"
#include "ports/port_index.h"

// PortRecord::flags
constexpr DWORD PORT_DOC_ACTIVE = 0x1;  // a document is in progress
constexpr DWORD PORT_OPEN = 0x2;        // opened by the spooler

struct PackedAnswer;  // ports/packed_answer.h

struct PortRecord {
    WCHAR path[kPortStringUnits];        // directory, ending in a backslash
    WCHAR outputFile[kPortStringUnits];  // output name of the document in progress
    DWORD isDefault;
    DWORD flags;
    WCHAR printerName[kPortStringUnits];  // printer of the last document started
    DWORD jobId;                          // job of the last document started
    PortRecord* next;                     // null only in the sentinel
    DWORD handedOut;                      // its address has been given to the spooler
    // Lengths in units, counted once when the record is made: of `path`, and
    // of the name the port is listed under (the same but for the default port).
    DWORD pathUnits;
    DWORD nameUnits;
    LPCWSTR name;  // `path`, or the list's default port name
    // Index and order: the record before this one (null at the head), a key
    // that grows along the list, so that the first of several matches is
    // known without a walk, and the record's links in the list's chains.
    PortRecord* previous;
    long long order;
    DWORD pathHash;
    IndexLink pathLink;    // by `path`
    IndexLink nameLink;    // the default port also by the default port name
    IndexLink handleLink;  // by address, while the spooler may hold it
};

class PortList {
public:
    // Null when any part of the list could not be allocated.
    static PortList* Create(LPCWSTR monitorName, LPCWSTR description, LPCWSTR defaultPortName);
    static void Destroy(PortList* list);

    virtual ~PortList();

    // Puts a new record in front; 1 on success, 0 if none could be made.
    int Insert(LPCWSTR name, bool isDefault);
    // An unlinked record for a port stored under `name`: the default port when
    // the name is the default port's; null when none could be made.
    PortRecord* MakeStoredRecord(LPCWSTR name) const;
    static void FreeUnlinked(PortRecord* record);
    // Relinks the list as the stored ports `storedFirst` (value 1 first; each a
    // listed record or one from MakeStoredRecord) under the listed records not
    // among them, which stay on top in their order. No record moves in memory.
    void Rebuild(PortRecord* const* storedFirst, DWORD storedCount);
    // Puts a record from MakeStoredRecord in front.
    void Push(PortRecord* record);
    PortRecord* Find(LPCWSTR name) const;
    // The record listed and stored under `name`: unlike Find, not the default
    // port by its directory, so that each stored value has its one record.
    PortRecord* FindListed(LPCWSTR name) const;
    // The record is the port `name` names: its listed name or its directory,
    // ignoring case as Windows does for file names.
    bool Matches(const PortRecord* record, LPCWSTR name) const;
    bool HasDefaultPort() const;
    // Unlinks the first matching record; 1 if one was removed, 0 if none matched.
    int Remove(LPCWSTR name);
    DWORD Count() const;

    // The name a record is listed and stored under.
    LPCWSTR DisplayName(const PortRecord* record) const;
    // A handle the spooler may hold: a record in the list, or one removed from it.
    bool IsPortHandle(const void* handle) const;

    PortRecord* head = nullptr;
    LPWSTR description = nullptr;
    LPWSTR monitorName = nullptr;
    LPWSTR defaultPortName = nullptr;
    LPWSTR tempDirectory = nullptr;
    DWORD defaultPortNameUnits = 0;
    // Sizes of the two strings every level-2 record carries, terminators
    // included: they never change, and enumeration needs them per port.
    DWORD monitorNameBytes = 0;
    DWORD descriptionBytes = 0;
    // The description and the monitor name, each terminated, one after the
    // other as a level-2 record's strings lie below its port name.
    LPWSTR level2Strings = nullptr;
    // Ports listed and the units of their listed names, kept as the list
    // changes: enumeration sizes its answer from them without a walk.
    DWORD count = 0;
    unsigned long long nameUnitsTotal = 0;
    // A load left stored ports out of the list: it must not be saved as it is.
    bool missesStoredPorts = false;
    // The store holds exactly this list, value for value (port_store.h).
    bool storeMirrorsList = false;
    // Moves on with every change of which ports are listed or of their order:
    // an EnumPorts answer packed before it is stale.
    unsigned long long changes = 0;
    // EnumPorts' packed answers at levels 1 and 2, one heap block each, made
    // on demand and freed with the list.
    PackedAnswer* packedAnswers[2] = {};

private:
    PortList() = default;
    PortRecord* MakeRecord(LPCWSTR name, bool asDefault) const;
    bool Matches(const PortRecord* record, LPCWSTR name, DWORD units) const;
    void IndexNames(PortRecord* record);
    void Unlink(PortRecord* record);
    void ComputeTempDirectory();
    void MakeLevel2Strings();

    // Removed records, kept until the list is destroyed: the spooler may still
    // hold one as a port handle, and it must not point at freed memory.
    PortRecord* retired = nullptr;
    DWORD defaultPortNameHash = 0;
    IndexTable names_;    // listed records by path, and the default port by its name
    IndexTable handles_;  // listed and retired records by address
};
