// A table of bounded size that forgets what it saw longest ago: the checker
// server keeps one entry per address that asks it and one per unknown code,
// and neither may grow without a bound whatever arrives on the port.
#pragma once

#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

template <typename Key, typename Value>
struct RecencyTable {
    using Entry = std::pair<Key, Value>;
    std::list<Entry> entries;  // the one touched last first
    std::unordered_map<Key, typename std::list<Entry>::iterator> places;
    size_t capacity = 0;
};

// The value of `key`, made the one touched last. A key not yet there gets a
// value-initialised entry, after the entry touched longest ago has gone when
// the table is full; `added` tells which happened.
template <typename Key, typename Value>
Value& touchEntry(RecencyTable<Key, Value>& table, const Key& key, bool* added = nullptr) {
    if (auto place = table.places.find(key); place != table.places.end()) {
        table.entries.splice(table.entries.begin(), table.entries, place->second);
        if (added != nullptr) *added = false;
        return place->second->second;
    }
    if (table.capacity > 0 && table.entries.size() >= table.capacity) {
        table.places.erase(table.entries.back().first);
        table.entries.pop_back();
    }
    table.entries.emplace_front(key, Value{});
    table.places.emplace(key, table.entries.begin());
    if (added != nullptr) *added = true;
    return table.entries.front().second;
}

// Removes `key` when it is there; true when it was.
template <typename Key, typename Value>
bool eraseEntry(RecencyTable<Key, Value>& table, const Key& key) {
    const auto place = table.places.find(key);
    if (place == table.places.end()) return false;
    table.entries.erase(place->second);
    table.places.erase(place);
    return true;
}
