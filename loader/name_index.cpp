#include "loader/name_index.h"

int NameIndex::Insert(std::string_view name, int value) {
    const std::uint32_t hash = Hash(name);
    // One probe run: it ends at the name, or at the empty slot a new name takes.
    std::size_t free = 0;
    if (!m_slots.empty()) {
        const std::size_t mask = m_slots.size() - 1;
        for (free = hash & mask; m_slots[free] >= 0; free = (free + 1) & mask) {
            const Entry& e = m_entries[static_cast<std::size_t>(m_slots[free])];
            if (e.hash == hash && e.name == name) return e.value;
        }
    }
    m_entries.push_back({std::string(name), value, hash});
    if (m_entries.size() * 2 > m_slots.size()) {
        m_slots.assign(m_slots.empty() ? 16 : m_slots.size() * 2, -1);
        for (std::size_t i = 0; i < m_entries.size(); ++i) Place(static_cast<std::int32_t>(i));
    } else {
        m_slots[free] = static_cast<std::int32_t>(m_entries.size() - 1);
    }
    return value;
}

void NameIndex::Place(std::int32_t entry) {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = m_entries[static_cast<std::size_t>(entry)].hash & mask;
    while (m_slots[i] >= 0) i = (i + 1) & mask;
    m_slots[i] = entry;
}
