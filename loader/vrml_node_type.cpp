#include "loader/vrml_node_type.h"

#include <algorithm>
#include <iterator>

void VrmlNodeType::AddExposedField(std::string_view name, int type) {
    AddField(name, type);
    std::string base(name);
    AddEventIn("set_" + base, type);
    AddEventOut(base + "_changed", type);
}

int VrmlNodeType::Lookup(const std::vector<Interface>& list, std::string_view name) {
    for (const Interface& entry : list)
        if (entry.name == name) return entry.type;
    return 0;
}

const VrmlNodeType* VrmlNodeTypeRegistry::Find(std::string_view name) const {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (*it && (*it)->GetName() == name) return it->get();
    return nullptr;
}

bool VrmlNodeTypeRegistry::AddToNameSpace(std::unique_ptr<VrmlNodeType> type) {
    if (!type) return false;
    if (Find(type->GetName()) != nullptr) {
        if (m_errors) *m_errors << "PROTO " << type->GetName() << " already defined\n";
        return false;
    }
    m_entries.push_back(std::move(type));
    return true;
}

void VrmlNodeTypeRegistry::PushNameSpace() {
    m_entries.push_back(nullptr);
}

void VrmlNodeTypeRegistry::PopNameSpace() {
    while (!m_entries.empty()) {
        bool marker = m_entries.back() == nullptr;
        m_entries.pop_back();
        if (marker) break;
    }
}

std::vector<std::unique_ptr<VrmlNodeType>> VrmlNodeTypeRegistry::TakeScopes() {
    auto first = std::find(m_entries.begin(), m_entries.end(), nullptr);
    std::vector<std::unique_ptr<VrmlNodeType>> scopes(std::make_move_iterator(first),
                                                      std::make_move_iterator(m_entries.end()));
    m_entries.erase(first, m_entries.end());
    return scopes;
}

void VrmlNodeTypeRegistry::RestoreScopes(std::vector<std::unique_ptr<VrmlNodeType>> scopes) {
    for (auto& entry : scopes) m_entries.push_back(std::move(entry));
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
