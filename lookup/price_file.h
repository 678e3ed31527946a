// PRCHK.DAT: fixed 194-byte records sorted by code, written by the shop's
// back-office program and only ever read here.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct PriceRecord {
    char code[17];   // key; may lack its zero byte in a damaged file
    char name[121];  // Mazovia
    double price;    // gross price 1, per unit (per kg for weighed goods)
    double gross2;
    double net1;
    double net2;
    char reserved[6];
    char unit[18];
};
#pragma pack(pop)

static_assert(sizeof(PriceRecord) == 194);
static_assert(offsetof(PriceRecord, code) == 0);
static_assert(offsetof(PriceRecord, name) == 17);
static_assert(offsetof(PriceRecord, price) == 138);
static_assert(offsetof(PriceRecord, gross2) == 146);
static_assert(offsetof(PriceRecord, net1) == 154);
static_assert(offsetof(PriceRecord, net2) == 162);
static_assert(offsetof(PriceRecord, reserved) == 170);
static_assert(offsetof(PriceRecord, unit) == 176);

inline constexpr int kPriceRecordSize = 194;

// Holds the record found by the last successful lookup.
extern PriceRecord recordBuffer;

// Record reads made by the last lookup. Kept in the program although only
// the benchmarks and tests read it: one addition per read, nothing beside a
// system call, and it shows that a lookup stays within its bound of reads.
extern int lastLookupReads;

// Where the last lookup read: the byte offset of each of its reads, in order
// (the first lastLookupReads entries). A store beside the count, for the same
// readers: the benchmarks replay these reads with the bare system calls as
// the floor a lookup is measured against. floor(log2 n) + 2 reads at most,
// and n stays below 2^31.
inline constexpr int kMaxLookupReads = 32;
extern int64_t lastLookupOffsets[kMaxLookupReads];

// Orders two record keys as the price file sorts them: unsigned bytes up to
// the zero byte. A damaged key that fills its 17 bytes without a zero ends
// there, so the comparison never reads past either code field.
inline int compareRecordCodes(const char* a, const char* b) {
    for (size_t i = 0; i < sizeof(PriceRecord::code); ++i) {
        const auto ua = static_cast<unsigned char>(a[i]);
        const auto ub = static_cast<unsigned char>(b[i]);
        if (ua != ub) return ua < ub ? -1 : 1;
        if (ua == 0) return 0;
    }
    return 0;
}

// Reads the record at `index` of `source` into `record`; false on failure.
using RecordReader = bool (*)(const void* source, int64_t index, PriceRecord* record);

// The search PRCHK.DAT is made for, over `count` records sorted by code that
// `readAt` reads one at a time: the index of the record whose key is `code`,
// with that record in `record`, or -1 when none is found or a read fails.
// The checker server searches its list in memory with the same steps, so a
// list with two equal codes or out of order is found as a checker finds it.
int64_t bisectRecords(int64_t count, const char* code, RecordReader readAt, const void* source,
                      PriceRecord* record);

// Finds `code` in the price file named by settings.priceFilePath by
// bisection. Returns the record's index, with the record in recordBuffer,
// or -1 when the file cannot be read or holds no such code.
int32_t lookupPriceRecord(const char* code);
