#include "loader/vrml_node_type.h"

#include <algorithm>
#include <iterator>

void VrmlNodeType::AddExposedField(std::string_view name, int type) {
    AddField(name, type);
    std::string base(name);
    AddEventIn("set_" + base, type);
    AddEventOut(base + "_changed", type);
}

void VrmlNodeType::IndexNew() const {
    // The first declaration of a name in each list counts: later ones keep its token.
    const auto index = [this](const std::vector<Interface>& list, std::size_t& done,
                              int Member::*token) {
        for (; done < list.size(); ++done) {
            const Interface& entry = list[done];
            const int next = static_cast<int>(m_members.size());
            const int at = m_index.Insert(entry.name, next);
            if (at == next) m_members.emplace_back();  // a new name
            int& held = m_members[static_cast<std::size_t>(at)].*token;
            if (held == 0) held = entry.type;
        }
    };
    index(m_fields, m_indexedFields, &Member::field);
    index(m_eventIns, m_indexedIns, &Member::eventIn);
    index(m_eventOuts, m_indexedOuts, &Member::eventOut);
    m_indexed = m_indexedFields + m_indexedIns + m_indexedOuts;
}

const VrmlNodeType* VrmlNodeTypeRegistry::Find(std::string_view name) const {
    const auto found = m_byName.find(name);
    return found == m_byName.end() ? nullptr : found->second;
}

void VrmlNodeTypeRegistry::Forget(const VrmlNodeType& type) {
    const auto found = m_byName.find(type.GetName());
    if (found == m_byName.end() || found->second != &type) return;
    m_byName.erase(found);
    // A file read inside another may have left an older type of the same name,
    // which is visible again.
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (*it && (*it)->GetName() == type.GetName()) {
            m_byName.emplace((*it)->GetName(), it->get());
            return;
        }
}

bool VrmlNodeTypeRegistry::AddToNameSpace(std::unique_ptr<VrmlNodeType> type) {
    if (!type) return false;
    if (Find(type->GetName()) != nullptr) {
        if (m_errors) *m_errors << "PROTO " << type->GetName() << " already defined\n";
        return false;
    }
    m_byName.emplace(type->GetName(), type.get());
    m_entries.push_back(std::move(type));
    return true;
}

void VrmlNodeTypeRegistry::PushNameSpace() {
    m_entries.push_back(nullptr);
}

void VrmlNodeTypeRegistry::PopNameSpace() {
    while (!m_entries.empty()) {
        bool marker = m_entries.back() == nullptr;
        std::unique_ptr<VrmlNodeType> gone = std::move(m_entries.back());
        m_entries.pop_back();
        if (!marker) Forget(*gone);
        if (marker) break;
    }
}

std::vector<std::unique_ptr<VrmlNodeType>> VrmlNodeTypeRegistry::TakeScopes() {
    auto first = std::find(m_entries.begin(), m_entries.end(), nullptr);
    std::vector<std::unique_ptr<VrmlNodeType>> scopes(std::make_move_iterator(first),
                                                      std::make_move_iterator(m_entries.end()));
    m_entries.erase(first, m_entries.end());
    for (const auto& entry : scopes)
        if (entry) Forget(*entry);
    return scopes;
}

void VrmlNodeTypeRegistry::RestoreScopes(std::vector<std::unique_ptr<VrmlNodeType>> scopes) {
    for (auto& entry : scopes) {
        if (entry) m_byName.insert_or_assign(entry->GetName(), entry.get());
        m_entries.push_back(std::move(entry));
    }
}

int VrmlNodeTypeRegistry::ScopeDepth() const {
    int depth = 0;
    for (const auto& entry : m_entries)
        if (!entry) ++depth;
    return depth;
}

std::size_t VrmlNodeTypeRegistry::TypeCount() const {
    std::size_t count = 0;
    for (const auto& entry : m_entries)
        if (entry) ++count;
    return count;
}
