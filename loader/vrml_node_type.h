// VrmlNodeType: the interface of one node type as the loader knows it (names of
// its fields, eventIns and eventOuts with their field type tokens), and the
// registry of such types with nested PROTO scopes.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "loader/name_index.h"

class VrmlNodeType {
  public:
    struct Interface {
        std::string name;
        int type;  // field type token, SFBOOL .. MFNODE
    };

    explicit VrmlNodeType(std::string_view name) : m_name(name) {}
    virtual ~VrmlNodeType() = default;

    const std::string& GetName() const { return m_name; }
    // A type the loader's own prototype class stands for (told without a dynamic_cast,
    // which costs more than the rest of starting a node).
    bool IsPrototype() const { return m_prototype; }

    // What one name is in the interface: the field type token of the first field,
    // eventIn and eventOut of that name; 0 where there is none.
    struct Member {
        int field = 0, eventIn = 0, eventOut = 0;
    };

    void AddEventIn(std::string_view name, int type) {
        m_eventIns.push_back({std::string(name), type});
    }
    void AddEventOut(std::string_view name, int type) {
        m_eventOuts.push_back({std::string(name), type});
    }
    void AddField(std::string_view name, int type) {
        m_fields.push_back({std::string(name), type});
    }
    // A field plus its "set_<name>" eventIn and "<name>_changed" eventOut.
    void AddExposedField(std::string_view name, int type);

    // Field type token of the first record with exactly this name; 0 when none.
    int HasEventIn(std::string_view name) const { return Find(name).eventIn; }
    int HasEventOut(std::string_view name) const { return Find(name).eventOut; }
    int HasField(std::string_view name) const { return Find(name).field; }
    // All three at once, with one lookup.
    Member Find(std::string_view name) const {
        if (m_indexed != m_fields.size() + m_eventIns.size() + m_eventOuts.size()) IndexNew();
        const int at = m_index.Find(name);
        return at == NameIndex::kAbsent ? Member{} : m_members[static_cast<std::size_t>(at)];
    }

    const std::vector<Interface>& EventIns() const { return m_eventIns; }
    const std::vector<Interface>& EventOuts() const { return m_eventOuts; }
    const std::vector<Interface>& Fields() const { return m_fields; }

  protected:
    VrmlNodeType(std::string_view name, bool prototype) : m_name(name), m_prototype(prototype) {}

  private:
    // Brings the index up to the declarations made since the last Find.
    void IndexNew() const;

    std::string m_name;
    bool m_prototype = false;
    std::vector<Interface> m_eventIns;
    std::vector<Interface> m_eventOuts;
    std::vector<Interface> m_fields;
    // Every name of the three lists, to its Member: a field read looks its name up
    // once, instead of going through the lists. Made at the first Find, so that the
    // hundred declared types a scene mostly does not use cost no index.
    mutable std::vector<Member> m_members;
    mutable NameIndex m_index;
    mutable std::size_t m_indexedFields = 0, m_indexedIns = 0, m_indexedOuts = 0;
    mutable std::size_t m_indexed = 0;  // the sum of the three
};

// The known node types, newest first, split into scopes by markers. Inner
// declarations hide outer ones of the same name; popping a scope destroys
// every type declared in it.
class VrmlNodeTypeRegistry {
  public:
    explicit VrmlNodeTypeRegistry(std::ostream* errors = nullptr) : m_errors(errors) {}

    // Newest visible type of that name, or null.
    const VrmlNodeType* Find(std::string_view name) const;
    // Registers the type in the innermost scope unless a type of that name is
    // visible; then prints "PROTO <name> already defined" and drops it.
    bool AddToNameSpace(std::unique_ptr<VrmlNodeType> type);
    void PushNameSpace();
    // Destroys the innermost scope's types and its marker.
    void PopNameSpace();
    // Destroys every type and scope.
    void Clear() {
        m_entries.clear();
        m_byName.clear();
    }

    // Takes every scope away (the types before the first scope stay), and
    // gives them back: a file read inside another sees only its own types.
    std::vector<std::unique_ptr<VrmlNodeType>> TakeScopes();
    void RestoreScopes(std::vector<std::unique_ptr<VrmlNodeType>> scopes);

    int ScopeDepth() const;
    std::size_t TypeCount() const;
    void SetErrorStream(std::ostream* errors) { m_errors = errors; }

  private:
    // Takes a type that leaves m_entries out of m_byName.
    void Forget(const VrmlNodeType& type);
    // Oldest first; a null entry is a scope marker.
    std::vector<std::unique_ptr<VrmlNodeType>> m_entries;
    // Every type of m_entries by its name (names are unique: a type whose name is
    // visible is not added), so that finding one does not go through them all.
    std::unordered_map<std::string_view, const VrmlNodeType*> m_byName;
    std::ostream* m_errors;
};
