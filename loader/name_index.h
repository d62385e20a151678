// NameIndex: a small map from names to ints (open addressing), for the
// loader's per-type tables of field names, which it asks once or twice for every
// field of every node it reads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class NameIndex {
  public:
    static constexpr int kAbsent = -1;

    // Adds `name` unless it is there already: the first value given for a name stays.
    // Returns the value `name` has now (the one already stored, else `value`), so a
    // caller that adds only new names needs no Find first. Values are not negative.
    int Insert(std::string_view name, int value);
    // The value of `name`, or kAbsent.
    int Find(std::string_view name) const {
        if (m_slots.empty()) return kAbsent;
        const std::uint32_t hash = Hash(name);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const std::int32_t slot = m_slots[i];
            if (slot < 0) return kAbsent;
            const Entry& e = m_entries[static_cast<std::size_t>(slot)];
            if (e.hash == hash && e.name == name) return e.value;
        }
    }
    bool Empty() const { return m_entries.empty(); }
    std::size_t Size() const { return m_entries.size(); }

    // From the length and four of the characters (first, a third and two thirds in,
    // last): field names are short and differ in those, and Find compares the whole
    // name anyway.
    static std::uint32_t Hash(std::string_view name) {
        if (name.empty()) return 0;
        const auto at = [&](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(name[i]));
        };
        const std::size_t n = name.size();
        std::uint32_t h = static_cast<std::uint32_t>(n) ^ at(0) << 8 ^ at(n / 3) << 14 ^
                          at(2 * n / 3) << 20 ^ at(n - 1) << 25;
        h *= 0x9E3779B1u;
        return h ^ h >> 16;
    }

  private:
    struct Entry {
        std::string name;
        int value;
        std::uint32_t hash;
    };
    void Place(std::int32_t entry);

    std::vector<Entry> m_entries;
    std::vector<std::int32_t> m_slots;  // a power of two, at most half full; −1: empty
};
