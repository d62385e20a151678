// NameIndex: a small map from names to ints (open addressing, FNV-1a), for the
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
    // Values are not negative.
    void Insert(std::string_view name, int value);
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

    static std::uint32_t Hash(std::string_view name) {
        std::uint32_t h = 2166136261u;
        for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
        return h;
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
