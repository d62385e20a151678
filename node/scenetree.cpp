#include "node/scenetree.h"

#include <atomic>
#include <optional>
#include <unordered_set>

#include "node/bifs_instream.h"
#include "node/node_impl.h"
#include "trace/debug_trace.h"

namespace {

// Deepest nesting the registry walk follows (deeper trees are reported).
constexpr int kMaxWalkDepth = 100000;

// The ALL index of SFNode field of `holder` that holds `node`; -1 when none.
int FieldHolding(SingleNode* holder, SingleNode* node) {
    auto* impl = dynamic_cast<NodeImpl*>(holder);
    if (impl == nullptr) return -1;
    for (int i = 0; i < impl->Desc().fieldCount; ++i) {
        if (impl->Desc().fields[i].type == kFieldSFNode && impl->GetField(i) == node) return i;
    }
    return -1;
}

int IndexInList(const MultiNode& list, const SingleNode* node) {
    for (int i = 0; i < list.GetCount(); ++i) {
        if (list.Nodes()[i] == node) return i;
    }
    return -1;
}

// Every node and node list reachable from `start`, `start` included.
std::unordered_set<const void*> Reachable(SingleNode* start) {
    std::unordered_set<const void*> seen;
    std::vector<SingleNode*> stack{start};
    seen.insert(start);
    while (!stack.empty()) {
        SingleNode* node = stack.back();
        stack.pop_back();
        for (int i = 0; i < node->GetDEFCount(); ++i) {
            Field* f = node->GetDEFField(i);
            if (auto* list = dynamic_cast<MultiNode*>(f)) {
                seen.insert(list);
                for (SingleNode* child : list->Nodes()) {
                    if (seen.insert(child).second) stack.push_back(child);
                }
            } else if (auto* child = AsNode(f)) {
                if (seen.insert(child).second) stack.push_back(child);
            }
        }
    }
    return seen;
}

// The ALL index an IN index addresses; a set_X eventIn addresses X.
int InTarget(NodeImpl& node, int inField) {
    const NodeDesc& d = node.Desc();
    if (inField < 0 || inField >= d.inCount) return -1;
    int all = d.inToAll[inField];
    if (d.fields[all].role == FieldRole::Forward) all = d.fields[all].target;
    return all;
}

}  // namespace

// A walk marks each node it enters with `entered` and, once its fields are
// done, with `entered + 1`; marks of earlier walks are other values.
struct SceneTree::WalkState {
    WalkState() {
        static std::atomic<std::uint32_t> last{0};
        entered = last.fetch_add(2, std::memory_order_relaxed) + 2;
        if (entered == 0) entered = last.fetch_add(2, std::memory_order_relaxed) + 2;  // wrapped
    }
    std::uint32_t entered;
};

SceneTree::~SceneTree() {
    Clear();
}

void SceneTree::Clear() {
    m_nodes.clear();
    m_uses.clear();
}

int SceneTree::GetRoot(SingleNode** out) const {
    *out = m_root.Get();
    return 1;
}

int SceneTree::SetRoot(SingleNode* node) {
    m_root = node::Ptr<SingleNode>(node);
    return Resync() == 0 ? 0 : 1;
}

int SceneTree::Resync() {
    Clear();
    if (!m_root) return 0;
    WalkState state;
    return Walk(nullptr, nullptr, m_root.Get(), state, 0);
}

int SceneTree::RegisterSubtree(Field* holder, Field* field) {
    WalkState state;
    auto* list = dynamic_cast<MultiNode*>(holder);
    return Walk(list ? nullptr : AsNode(holder), list, field, state, 0);
}

int SceneTree::Walk(SingleNode* holderNode, MultiNode* holderList, Field* field, WalkState& state,
                    int depth) {
    if (field == nullptr) return 0;
    if (depth > kMaxWalkDepth) {
        DebugPrintf("SceneTree: scene nested deeper than %d nodes\n", kMaxWalkDepth);
        return 1;
    }
    if (auto* list = AsNodeList(field)) {
        int errors = 0;
        for (SingleNode* child : list->Nodes())
            errors += Walk(nullptr, list, child, state, depth + 1);
        return errors;
    }
    auto* node = AsNode(field);
    if (node == nullptr) return 0;
    const std::uint32_t id = node->GetNodeID();
    const std::uint32_t mark = node->GetWalkMark();
    if (mark == state.entered || mark == state.entered + 1) {
        // Met before: a node standing in two places must hold two references.
        int errors = 0;
        if (mark == state.entered) {
            DebugPrintf("SceneTree: node %u contains itself\n", id);
            ++errors;
        } else if (node->GetRef() <= 1) {
            DebugPrintf(
                "SceneTree: node %u is held twice with one reference (sfNode->GetRef() > 1)\n", id);
            ++errors;
        }
        if (id != 0 && Lookup(id) == node) {
            if (holderList != nullptr) {
                AddListUse(id, holderList);
            } else {
                AddUse(id, holderNode);
            }
        }
        return errors;
    }
    if (id != 0) {
        if (holderList != nullptr) {
            RegisterListNode(id, node, holderList);
        } else {
            RegisterNode(id, node, holderNode);
        }
    }
    node->SetWalkMark(state.entered);
    int errors = 0;
    for (std::uint8_t i : node->GetDEFNodeFields())
        errors += Walk(node, nullptr, node->GetDEFField(i), state, depth + 1);
    node->SetWalkMark(state.entered + 1);
    return errors;
}

class SceneTree::DecodingScope {
  public:
    explicit DecodingScope(SceneTree& tree) : m_tree(tree) { ++m_tree.m_decoding; }
    ~DecodingScope() {
        if (--m_tree.m_decoding > 0) return;
        std::vector<node::Ptr<SingleNode>> pins = std::move(m_tree.m_pins);
        m_tree.m_pins.clear();
        if (pins.empty()) return;
        pins.clear();
        // Nodes only the pins kept alive are gone now: drop them from the registries.
        m_tree.Resync();
    }

  private:
    SceneTree& m_tree;
};

int SceneTree::RegisterNode(std::uint32_t id, SingleNode* node, SingleNode* holder) {
    if (id == 0 || node == nullptr || !m_nodes.try_emplace(id, node).second) return 1;
    if (m_decoding > 0) m_pins.emplace_back(node);
    AddUse(id, holder);
    return 0;
}

int SceneTree::RegisterListNode(std::uint32_t id, SingleNode* node, MultiNode* list) {
    if (id == 0 || node == nullptr || !m_nodes.try_emplace(id, node).second) return 1;
    if (m_decoding > 0) m_pins.emplace_back(node);
    AddListUse(id, list);
    return 0;
}

void SceneTree::AddUse(std::uint32_t id, SingleNode* holder) {
    m_uses.emplace(id, UseRecord{1, holder, nullptr});
}

void SceneTree::AddListUse(std::uint32_t id, MultiNode* list) {
    m_uses.emplace(id, UseRecord{0, nullptr, list});
}

SingleNode* SceneTree::Lookup(std::uint32_t id) const {
    auto it = m_nodes.find(id);
    return it == m_nodes.end() ? nullptr : it->second;
}

int SceneTree::FindNode(std::uint32_t id, SingleNode** out) const {
    node::Ptr<SingleNode> found(Lookup(id));
    *out = found.Detach();
    return *out == nullptr ? 1 : 0;
}

std::vector<SceneTree::UseRecord> SceneTree::GetUses(std::uint32_t id) const {
    std::vector<UseRecord> uses;
    auto [begin, end] = m_uses.equal_range(id);
    for (auto it = begin; it != end; ++it) uses.push_back(it->second);
    return uses;
}

HRESULT SceneTree::ReplaceScene(int nodeType, CBIFS_InStream& stream) {
    DecodingScope decoding(*this);
    m_root.Reset();
    Clear();
    m_routes.clear();
    auto root = node::Ptr<SingleNode>::Adopt(CreateNode(nodeType));
    if (!root) {
        stream.MarkError();
        return node::kFailCode;
    }
    if (stream.ReadBits(1) == 1) {
        std::uint32_t id = stream.ReadBits(32);
        if (root->SetNodeID(id) == 0) RegisterNode(id, root.Get(), nullptr);
    }
    std::optional<ExtraDecodeLevel> level;
    if (TopNodeExtraLevels(nodeType, root->GetNodeID()) > 0) level.emplace();
    if (stream.HasError() || root->DecodeNode(stream, this) != node::kOk) {
        stream.MarkError();
        root.Reset();
        Clear();
        return node::kFailCode;
    }
    m_root = std::move(root);
    // The walk rebuilds the ID registry from the final tree (a node registered
    // while decoding may since have been replaced). A stream that gave no
    // node an ID leaves nothing to rebuild: the registry is empty and no node
    // can stand in two places, since only an ID can be reused.
    if (!m_nodes.empty()) Resync();
    return node::kOk;
}

bool SceneTree::ReachesHolder(SingleNode* node, std::uint32_t id) const {
    std::unordered_set<const void*> reach = Reachable(node);
    for (const UseRecord& use : GetUses(id)) {
        if (use.kind == 0 && reach.count(use.list) != 0) return true;
        if (use.kind == 1 && use.node != nullptr && reach.count(use.node) != 0) return true;
    }
    return false;
}

bool SceneTree::PlaceAll(std::uint32_t id, SingleNode* old, SingleNode* replacement, bool dryRun) {
    for (const UseRecord& use : GetUses(id)) {
        if (use.kind == 0) {
            int index = IndexInList(*use.list, old);
            if (index < 0) continue;
            if (replacement == nullptr) {
                if (!dryRun) use.list->RemoveNodeAt(index);
            } else if (CastToNDT(replacement, use.list->GetNDT()) == nullptr) {
                return false;
            } else if (!dryRun) {
                use.list->ReplaceNodeAt(index, replacement);
            }
        } else if (use.node == nullptr) {
            if (m_root.Get() != old || dryRun) continue;
            m_root = node::Ptr<SingleNode>(replacement);
        } else {
            int field = FieldHolding(use.node, old);
            if (field < 0) continue;
            if (dryRun) {
                auto* impl = dynamic_cast<NodeImpl*>(use.node);
                if (replacement != nullptr &&
                    CastToNDT(replacement, impl->FieldInfo(field)->ndt) == nullptr) {
                    return false;
                }
            } else {
                use.node->SetField(field, replacement);
            }
        }
    }
    return true;
}

HRESULT SceneTree::DeleteNode(std::uint32_t id) {
    SingleNode* node = Lookup(id);
    if (node == nullptr) return node::kFailCode;
    {
        node::Ptr<SingleNode> hold(node);  // alive until every holder has let go
        PlaceAll(id, node, nullptr, false);
    }
    Resync();
    return node::kOk;
}

HRESULT SceneTree::ReplaceNode(std::uint32_t id, int nodeType, CBIFS_InStream& stream) {
    DecodingScope decoding(*this);
    SingleNode* old = Lookup(id);
    auto fresh = node::Ptr<SingleNode>::Adopt(old != nullptr ? CreateNode(nodeType) : nullptr);
    if (!fresh) return node::kFailCode;
    HRESULT result = node::kFailCode;
    if (PlaceAll(id, old, fresh.Get(), true) && fresh->DecodeNode(stream, this) == node::kOk &&
        !ReachesHolder(fresh.Get(), id)) {
        // The new node takes over the ID, so later commands still reach it.
        fresh->SetNodeID(id);
        node::Ptr<SingleNode> hold(old);
        PlaceAll(id, old, fresh.Get(), false);
        result = node::kOk;
    }
    fresh.Reset();
    Resync();
    return result;
}

HRESULT SceneTree::ReplaceNodeByID(std::uint32_t id, std::uint32_t otherId) {
    SingleNode* old = Lookup(id);
    SingleNode* other = Lookup(otherId);
    if (old == nullptr || other == nullptr) return node::kFailCode;
    if (old == other) return node::kOk;
    if (!PlaceAll(id, old, other, true) || ReachesHolder(other, id)) return node::kFailCode;
    {
        node::Ptr<SingleNode> holdOld(old), holdOther(other);
        PlaceAll(id, old, other, false);
    }
    Resync();
    return node::kOk;
}

HRESULT SceneTree::InsertNode(std::uint32_t id, int nodeType, int position,
                              CBIFS_InStream& stream) {
    DecodingScope decoding(*this);
    SingleNode* target = Lookup(id);
    if (target == nullptr) return node::kFailCode;
    MultiNode* list = nullptr;
    for (int i = 0; i < target->GetDEFCount() && list == nullptr; ++i) {
        list = dynamic_cast<MultiNode*>(target->GetDEFField(i));
    }
    auto fresh = node::Ptr<SingleNode>::Adopt(list != nullptr ? CreateNode(nodeType) : nullptr);
    if (!fresh) return node::kFailCode;
    HRESULT result = node::kFailCode;
    if (CastToNDT(fresh.Get(), list->GetNDT()) != nullptr &&
        fresh->DecodeNode(stream, this) == node::kOk && Reachable(fresh.Get()).count(list) == 0) {
        const int count = list->GetCount();
        const int at = (position == 255 || position > count || position < 0) ? count : position;
        list->AddNode(fresh.Get());
        // Rotate the nodes from the insertion point behind the new one.
        for (int moved = at; moved < count; ++moved) {
            list->AddNode(list->GetNodeAt(at));
            list->RemoveNodeAt(at);
        }
        result = node::kOk;
    }
    fresh.Reset();
    Resync();
    return result;
}

MultiField* SceneTree::IndexedList(std::uint32_t id, int inField) const {
    auto* node = dynamic_cast<NodeImpl*>(Lookup(id));
    if (node == nullptr) return nullptr;
    int all = InTarget(*node, inField);
    return all < 0 ? nullptr : dynamic_cast<MultiField*>(node->GetField(all));
}

HRESULT SceneTree::InsertIndexedValue(std::uint32_t id, int inField, int position,
                                      CBIFS_InStream& stream) {
    MultiField* list = IndexedList(id, inField);
    if (list == nullptr) return node::kFailCode;
    std::unique_ptr<SFField> value = CreateSFField(list->GetFieldType());
    if (value == nullptr || value->Decode(stream) != node::kOk) return node::kFailCode;
    const int at = position == 255 ? list->GetCount() : position;
    return list->InsertAt(at, *value) == 0 ? node::kOk : node::kFailCode;
}

HRESULT SceneTree::DeleteIndexedValue(std::uint32_t id, int inField, int position) {
    MultiField* list = IndexedList(id, inField);
    if (list == nullptr || list->GetCount() == 0) return node::kFailCode;
    const int at = position == 255 ? list->GetCount() - 1 : position;
    if (at < 0 || at >= list->GetCount()) return node::kFailCode;
    list->RemoveAt(at);
    return node::kOk;
}

HRESULT SceneTree::ReplaceIndexedValue(std::uint32_t id, int inField, int position,
                                       CBIFS_InStream& stream) {
    MultiField* list = IndexedList(id, inField);
    if (list == nullptr || list->GetCount() == 0) return node::kFailCode;
    std::unique_ptr<SFField> value = CreateSFField(list->GetFieldType());
    if (value == nullptr || value->Decode(stream) != node::kOk) return node::kFailCode;
    const int at = position == 255 ? list->GetCount() - 1 : position;
    return list->AssignAt(at, *value) == 0 ? node::kOk : node::kFailCode;
}

HRESULT SceneTree::ReplaceField(std::uint32_t id, int inField, CBIFS_InStream& stream) {
    DecodingScope decoding(*this);
    auto* node = dynamic_cast<NodeImpl*>(Lookup(id));
    if (node == nullptr) return node::kFailCode;
    const int all = InTarget(*node, inField);
    const FieldDesc* f = node->FieldInfo(all);
    if (f == nullptr || !f->stored || f->multi)
        return node::kFailCode;  // lists have their own operations
    if (f->type == kFieldSFNode) {
        node::Ptr<SingleNode> value;
        if (DecodeSFNode(stream, f->ndt, this, node, nullptr, value.Put()) != node::kOk) {
            Resync();
            return node::kFailCode;
        }
        HRESULT result = node::kFailCode;
        if (Reachable(value.Get()).count(node) == 0 && node->SetField(all, value.Get()) == 0)
            result = node::kOk;
        value.Reset();
        Resync();
        return result;
    }
    std::unique_ptr<SFField> value = CreateSFField(f->type);
    if (value == nullptr || value->Decode(stream) != node::kOk) return node::kFailCode;
    return node->SetField(all, value.get()) == 0 ? node::kOk : node::kFailCode;
}
