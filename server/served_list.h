// The price list a checker server answers from: the items of a CSV price
// list or of a PRCHK.DAT, held in memory in the order the price file holds
// them, and found by the checker's own steps (lookup/cascade.h) over the
// checker's own bisection, so that every code finds the record a checker
// in standalone mode finds in the same list, even in a PRCHK.DAT with two
// equal codes or codes out of order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lookup/cascade.h"

// What an answer needs of a record, and no more: a list of a million items
// takes about 48 MB rather than the 194 MB of its price file.
struct ServedItem {
    char code[17];  // as the record holds it, possibly without its zero byte
    char name[20];  // the name's first 20 bytes in Mazovia, zeros after its end
    bool sound;     // every price of the record is a number
    double price;   // 1/10000 of a złoty
};

// Items held in blocks, not one array: a 32-bit server's address space has
// room for a big list in many pieces, seldom in one.
inline constexpr size_t kServedItemsPerBlock = 65536;

struct ServedList {
    std::vector<std::unique_ptr<ServedItem[]>> blocks;
    int64_t count = 0;
    int64_t trailingBytes = 0;  // of a price file, after its last whole record
    // In a list whose codes stand in strict order (every list prchk builds)
    // the bisection finds every code it holds, so a table of its codes'
    // hashes finds the same record in one step rather than twenty reads
    // across memory. Empty for a list out of order or with a code twice,
    // which only the bisection finds as a checker does. Item index + 1 per
    // slot, 0 for none.
    std::vector<uint32_t> codeSlots;
};

enum class ListForm { Csv, PriceFile };

// Reads the list `path` names, in either form; a CSV as `prchk build` reads
// it, whose faults make it fail as they make a build fail. A price file
// without one whole record fails too: it is a copy cut short, and a server
// that took it would call every code unknown. Returns 0, or -1 with why in
// `error` (one line).
int loadServedList(const std::string& path, ListForm form, ServedList& list, std::string& error);

// The checker's lookup of `code` (at most 16 characters) over the list, with
// the in-store prefixes of the settings record. The record found holds the
// code, the name's first 20 bytes and the price; one whose prices are
// damaged holds a net1 that is no number, so that lookupShowsItem, as the
// checker, calls it unknown.
CodeLookup lookupServedCode(const ServedList& list, const char* code);
