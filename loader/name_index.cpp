#include "loader/name_index.h"

void NameIndex::Insert(std::string_view name, int value) {
    if (Find(name) != kAbsent) return;
    m_entries.push_back({std::string(name), value, Hash(name)});
    if (m_entries.size() * 2 > m_slots.size()) {
        m_slots.assign(m_slots.empty() ? 16 : m_slots.size() * 2, -1);
        for (std::size_t i = 0; i < m_entries.size(); ++i) Place(static_cast<std::int32_t>(i));
    } else {
        Place(static_cast<std::int32_t>(m_entries.size() - 1));
    }
}

void NameIndex::Place(std::int32_t entry) {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = m_entries[static_cast<std::size_t>(entry)].hash & mask;
    while (m_slots[i] >= 0) i = (i + 1) & mask;
    m_slots[i] = entry;
}
