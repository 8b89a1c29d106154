// Hash chains over the port records, so that a look-up by name or by handle
// costs the same with ten ports as with thousands. The records stay where
// they are: the chains are links inside them.
#pragma once

#include <windows.h>

struct PortRecord;

// One record's place in one chain.
struct IndexLink {
    IndexLink* next;
    PortRecord* owner;  // null while the link is in no chain
    DWORD hash;
};

// A set of links hashed into a power-of-two number of buckets. Growing is
// only ever tried: without memory the chains get longer, never wrong. A
// small set lives in the buckets inside the table and allocates nothing, so
// that adding a port and taking it out again leaves the heap as it was.
class IndexTable {
public:
    IndexTable() = default;
    ~IndexTable();
    IndexTable(const IndexTable&) = delete;
    IndexTable& operator=(const IndexTable&) = delete;

    void Add(IndexLink* link, PortRecord* owner, DWORD hash);
    void Remove(IndexLink* link);
    // Empties every chain; the links are left to be added again.
    void Clear();
    // The first link of the chain `hash` falls in; follow `next`, and compare
    // `hash` and the owner, as other hashes share the chain.
    IndexLink* Chain(DWORD hash) const { return buckets_[hash & (bucketCount_ - 1)]; }

private:
    static constexpr DWORD kInlineBuckets = 16;
    void TryGrow();
    void Rehash(IndexLink** into, DWORD count);

    IndexLink* inline_[kInlineBuckets] = {};
    IndexLink** buckets_ = inline_;
    DWORD bucketCount_ = kInlineBuckets;
    DWORD entries_ = 0;
};

// The key a name is hashed under: each unit through the system's upper-case
// mapping, then ASCII letters folded, so that names the case-insensitive
// comparison holds equal always share a hash.
DWORD HashName(LPCWSTR name, DWORD units);
DWORD HashAddress(const void* address);
