#include "ports/port_index.h"

#include "common/wide_string.h"

namespace {

// Bucket arrays stop doubling here.
constexpr DWORD kMaxBuckets = 0x40000000u;

IndexLink** NewBuckets(DWORD count) {
    return static_cast<IndexLink**>(
        HeapAlloc(GetProcessHeap(), 0, SIZE_T(count) * sizeof(IndexLink*)));
}

}  // namespace

IndexTable::~IndexTable() {
    if (buckets_ != inline_) HeapFree(GetProcessHeap(), 0, buckets_);
}

void IndexTable::Add(IndexLink* link, PortRecord* owner, DWORD hash) {
    link->owner = owner;
    link->hash = hash;
    IndexLink*& bucket = buckets_[hash & (bucketCount_ - 1)];
    link->next = bucket;
    bucket = link;
    // Chains average at most one link before a growth is tried.
    if (++entries_ > bucketCount_) TryGrow();
}

void IndexTable::Remove(IndexLink* link) {
    if (!link->owner) return;
    for (IndexLink** at = &buckets_[link->hash & (bucketCount_ - 1)]; *at; at = &(*at)->next) {
        if (*at != link) continue;
        *at = link->next;
        --entries_;
        break;
    }
    link->next = nullptr;
    link->owner = nullptr;
    // Back inside the table once few are left: what an add allocated, its
    // removal frees.
    if (buckets_ != inline_ && entries_ <= kInlineBuckets / 2) Rehash(inline_, kInlineBuckets);
}

void IndexTable::Clear() {
    for (DWORD i = 0; i < bucketCount_; ++i) {
        for (IndexLink* link = buckets_[i]; link;) {
            IndexLink* next = link->next;
            link->next = nullptr;
            link->owner = nullptr;
            link = next;
        }
        buckets_[i] = nullptr;
    }
    entries_ = 0;
}

void IndexTable::TryGrow() {
    if (bucketCount_ >= kMaxBuckets) return;
    DWORD count = bucketCount_ * 2;
    while (count < entries_ && count < kMaxBuckets) count *= 2;
    IndexLink** grown = NewBuckets(count);
    if (!grown) return;
    Rehash(grown, count);
}

// Moves every link into the `count` buckets at `into` and makes them the
// table's, freeing the old ones unless they are the inline ones.
void IndexTable::Rehash(IndexLink** into, DWORD count) {
    IndexLink** old = buckets_;
    const DWORD oldCount = bucketCount_;
    for (DWORD i = 0; i < count; ++i) into[i] = nullptr;
    for (DWORD i = 0; i < oldCount; ++i) {
        for (IndexLink* link = old[i]; link;) {
            IndexLink* next = link->next;
            IndexLink*& bucket = into[link->hash & (count - 1)];
            link->next = bucket;
            bucket = link;
            link = next;
        }
    }
    buckets_ = into;
    bucketCount_ = count;
    if (old != inline_) HeapFree(GetProcessHeap(), 0, old);
}

DWORD HashName(LPCWSTR name, DWORD units) {
    DWORD hash = 2166136261u;  // FNV-1a
    for (DWORD i = 0; i < units; ++i) {
        WCHAR unit = name[i];
        // ASCII needs no call: every upper-case mapping keeps it ASCII and
        // agrees with A-Z folding on it.
        if (unit >= 0x80) CharUpperBuffW(&unit, 1);
        unit = FoldAscii(unit);
        hash = (hash ^ (unit & 0xFF)) * 16777619u;
        hash = (hash ^ (unit >> 8)) * 16777619u;
    }
    return hash;
}

DWORD HashAddress(const void* address) {
    unsigned long long x = reinterpret_cast<ULONG_PTR>(address);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    return DWORD(x);
}
