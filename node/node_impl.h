// The table-driven implementation shared by every node class: a node class
// describes its fields once (NodeDesc) and lists its members (SlotAt); the
// per-class operations of SingleNode are answered from that description.
#pragma once

#include <cstdint>
#include <limits>

#include "node/node_basenodedef.h"

// Field kinds of the node semantic tables.
enum class FieldKind : std::uint8_t { EventIn, EventOut, Field, ExposedField };

// What a field does beyond storing a value.
enum class FieldRole : std::uint8_t {
    Plain,
    AddChildren,     // eventIn: appends a node to `target` (the children list)
    RemoveChildren,  // eventIn: not settable
    Children,        // children of a grouping node: not settable
    Forward,         // set_X eventIn: SetField goes to field `target` (X)
};

// One field of a node class.
struct FieldDesc {
    const char* name;
    FieldKind kind;
    std::uint8_t type;  // element type code; kFieldSFNode / kFieldMFNode for nodes
    bool multi;         // a list of values (MFField) or of nodes (MFNode)
    bool stored;        // has a member (eventIns usually do not)
    std::uint8_t ndt;   // node-valued fields: the NDT id of their nodes
    FieldRole role;
    std::int8_t target;              // ALL index used by AddChildren / Forward, else -1
    std::int16_t def, in, out, dyn;  // index in each numbering, -1 when absent
    // Closed bounds that CheckFieldValues enforces (+-infinity when open);
    // a component equal to `keep` (a default outside the bounds, such as -1
    // for "not set") is left alone. `keep` is NaN when there is none.
    double min, max, keep;
};

// Local code of a class in one NDT.
struct NDTCode {
    std::uint8_t ndt;
    std::uint8_t code;
};

// Everything the shared implementation needs to know about a node class.
struct NodeDesc {
    int type;  // node type id
    const char* name;
    const FieldDesc* fields;
    int fieldCount;
    const std::uint8_t* defToAll;
    int defCount;
    int defBits;
    const std::uint8_t* inToAll;
    int inCount;
    const std::uint8_t* outToAll;
    int outCount;
    const std::uint8_t* dynToAll;
    int dynCount;
    const NDTCode* codes;  // SFWorldNode first
    int codeCount;
    SFWorldNode* (*create)();
    const std::uint8_t* defNodes;  // DEF indices of the SFNode and MFNode fields
    int defNodeCount;
};

// The stored form of an SFNode field: one owned reference to a node of the
// NDT, or null. NodeSlot is the type-erased part the shared code uses.
class SFNodeSlot {
  public:
    SFNodeSlot() = default;
    SFNodeSlot(const SFNodeSlot&) = delete;
    SFNodeSlot& operator=(const SFNodeSlot&) = delete;

    SingleNode* Node() const { return m_node; }
    // Stores `node` (taking a reference, releasing the old one) when it belongs
    // to NDT `ndt`; null empties the slot. False, and unchanged, otherwise.
    bool Assign(SingleNode* node, std::uint8_t ndt);

  protected:
    ~SFNodeSlot() {
        if (m_node != nullptr) m_node->Release();
    }
    SingleNode* m_node = nullptr;
    void* m_typed = nullptr;  // the same node as its NDT class
};

template <class NDT>
class SFNodeField final : public SFNodeSlot {
  public:
    NDT* get() const { return static_cast<NDT*>(m_typed); }
    operator NDT*() const { return get(); }
    NDT* operator->() const { return get(); }
    // Stores `node` (null empties); the field takes its own reference.
    void Set(NDT* node) { Assign(node, NDT::kNDT); }
};

// The node's view of a node as a given NDT class, as a void pointer to that
// class; null when the node does not belong to the NDT.
void* CastToNDT(SingleNode* node, std::uint8_t ndt);

// Base of every generated node class.
class NodeImpl : public virtual SingleNode {
  public:
    virtual const NodeDesc& Desc() const = 0;

    HRESULT EncodeField(OutStream& stream, int defIndex) override;
    HRESULT EncodeNodeType(OutStream& stream, std::uint8_t ndt) override;
    HRESULT DecodeField(CBIFS_InStream& stream, int defIndex, SceneTree* tree) override;
    int NodeTypeId() const override { return Desc().type; }
    int GetDEFCount() const override { return Desc().defCount; }
    std::span<const std::uint8_t> GetDEFNodeFields() const override {
        return {Desc().defNodes, static_cast<std::size_t>(Desc().defNodeCount)};
    }
    int GetDEFBits() const override { return Desc().defBits; }
    int GetINCount() const override { return Desc().inCount; }
    int GetOUTCount() const override { return Desc().outCount; }

    Field* GetField(int index) override;
    int SetField(int index, Field* value) override;
    int GetFieldName(int index, std::string& name) const override;
    Field* GetDEFField(int index) override {
        return GetField(Map(Desc().defToAll, Desc().defCount, index));
    }
    int SetDEFField(int index, Field* value) override {
        return SetField(Map(Desc().defToAll, Desc().defCount, index), value);
    }
    int GetDEFFieldName(int index, std::string& name) const override {
        return GetFieldName(Map(Desc().defToAll, Desc().defCount, index), name);
    }
    Field* GetINField(int index) override {
        return GetField(Map(Desc().inToAll, Desc().inCount, index));
    }
    int SetINField(int index, Field* value) override {
        return SetField(Map(Desc().inToAll, Desc().inCount, index), value);
    }
    int GetINFieldName(int index, std::string& name) const override {
        return GetFieldName(Map(Desc().inToAll, Desc().inCount, index), name);
    }
    Field* GetOUTField(int index) override {
        return GetField(Map(Desc().outToAll, Desc().outCount, index));
    }
    int SetOUTField(int index, Field* value) override {
        return SetField(Map(Desc().outToAll, Desc().outCount, index), value);
    }
    int GetOUTFieldName(int index, std::string& name) const override {
        return GetFieldName(Map(Desc().outToAll, Desc().outCount, index), name);
    }
    Field* GetDYNField(int index) override {
        return GetField(Map(Desc().dynToAll, Desc().dynCount, index));
    }
    int SetDYNField(int index, Field* value) override {
        return SetField(Map(Desc().dynToAll, Desc().dynCount, index), value);
    }
    int GetDYNFieldName(int index, std::string& name) const override {
        return GetFieldName(Map(Desc().dynToAll, Desc().dynCount, index), name);
    }

    int DEFToAll(int index) const override {
        return ToAll(Desc().defToAll, Desc().defCount, index);
    }
    int INToAll(int index) const override { return ToAll(Desc().inToAll, Desc().inCount, index); }
    int OUTToAll(int index) const override {
        return ToAll(Desc().outToAll, Desc().outCount, index);
    }
    int DYNToAll(int index) const override {
        return ToAll(Desc().dynToAll, Desc().dynCount, index);
    }

    const NDTTable* GetFieldNDT(int index) const override;
    const NDTTable* GetDEFFieldNDT(int index) const override {
        return GetFieldNDT(Map(Desc().defToAll, Desc().defCount, index));
    }
    const NDTTable* GetINFieldNDT(int index) const override {
        return GetFieldNDT(Map(Desc().inToAll, Desc().inCount, index));
    }
    const NDTTable* GetOUTFieldNDT(int index) const override {
        return GetFieldNDT(Map(Desc().outToAll, Desc().outCount, index));
    }
    const NDTTable* GetDYNFieldNDT(int index) const override {
        return GetFieldNDT(Map(Desc().dynToAll, Desc().dynCount, index));
    }

    int CheckFieldValues() override;

    // The description of field `index` (ALL numbering); null when out of range.
    const FieldDesc* FieldInfo(int index) const {
        return index >= 0 && index < Desc().fieldCount ? &Desc().fields[index] : nullptr;
    }

  protected:
    // A stored field: a value or node list (`value`) or an SFNode (`node`).
    struct Slot {
        Slot() = default;
        Slot(Field* f) : value(f) {}
        Slot(SFNodeSlot* n) : node(n) {}
        Field* value = nullptr;
        SFNodeSlot* node = nullptr;
    };
    // The member of field `index` (ALL numbering); empty for fields without one.
    virtual Slot SlotAt(int index) = 0;
    Slot SlotAtConst(int index) const { return const_cast<NodeImpl*>(this)->SlotAt(index); }

  private:
    // An ALL index for a numbering's index; -1 when out of range.
    static int Map(const std::uint8_t* table, int count, int index) {
        return index >= 0 && index < count ? table[index] : -1;
    }
    static int ToAll(const std::uint8_t* table, int count, int index) {
        return index >= 0 && index < count ? table[index] : 0;
    }
};

// The value that stands for "not set" in the FAP parameters, whose default
// is +infinity in the node tables: an SFInt32 cannot hold infinity, so the
// largest 32-bit integer takes its place (as -infinity would take the smallest).
inline constexpr std::int32_t kInt32PlusInf = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int32_t kInt32MinusInf = std::numeric_limits<std::int32_t>::min();

// Reads one SFNode in NDT `ndt`: a reference to a node the tree knows
// (isReused) or a new node with its optional ID and fields. On success
// `*out` holds one reference for the caller. Nodes with IDs are registered with
// `tree` (when given) under `holderNode` or `holderList`.
HRESULT DecodeSFNode(CBIFS_InStream& stream, std::uint8_t ndt, SceneTree* tree,
                     SingleNode* holderNode, MultiNode* holderList, SingleNode** out);
// Reads a node list (MFNode syntax) in NDT `ndt` and appends its nodes to `list`.
HRESULT DecodeNodeList(CBIFS_InStream& stream, MultiNode& list, std::uint8_t ndt, SceneTree* tree);

// The description of node type `nodeType`; null for ids without a class.
const NodeDesc* GetNodeDesc(int nodeType);
// Deepest node nesting the coders accept, in levels: the top node of a scene
// is level 1 (see TopNodeExtraLevels), each node inside a node one level
// more. EncodeNode refuses to write deeper trees and DecodeNode to read them,
// so whatever one writes the other reads.
inline constexpr int kMaxDecodeDepth = 1000;
// The node type of a scene's top node by its 2-bit code (Transform2D, Group,
// Layer2D, Layer3D), and the code of a type; -1 for a type that cannot be
// the top node.
inline int TopNodeType(std::uint32_t code) {
    static constexpr int kTypes[4] = {95, 46, 54, 55};
    return kTypes[code & 3];
}
inline int TopNodeCode(int nodeType) {
    for (std::uint32_t code = 0; code < 4; ++code)
        if (TopNodeType(code) == nodeType) return static_cast<int>(code);
    return -1;
}
// Levels a scene's top node stands below level 1: 0 for a Group without a
// node ID, whose children VRML text writes at its top level, and 1 for any
// other top node, which text puts inside the Group a file's top level makes.
// Counting that level keeps a scene that decodes within the limit encodable
// again after a trip through text.
inline int TopNodeExtraLevels(int nodeType, std::uint32_t nodeId) {
    return nodeType == 46 && nodeId == 0 ? 0 : 1;  // 46: Group
}
// While it lives, DecodeNode counts one more level above the nodes it reads
// (a top node's extra level).
class ExtraDecodeLevel {
  public:
    ExtraDecodeLevel();
    ~ExtraDecodeLevel();
    ExtraDecodeLevel(const ExtraDecodeLevel&) = delete;
    ExtraDecodeLevel& operator=(const ExtraDecodeLevel&) = delete;
};
// True while `node`'s DecodeNode runs on this thread (a reference to it
// would make the node its own descendant).
bool IsBeingDecoded(const SingleNode* node);
// Bits of a field index in a numbering of `count` fields (DEF, IN, OUT):
// none for an empty numbering, else enough for count - 1 and at least one.
inline int FieldIndexBits(int count) {
    int bits = 1;
    while (count > 1 && (1 << bits) < count) ++bits;
    return count == 0 ? 0 : bits;
}
// Rows of the node-name table: 0 "reserved", then node types 1 to 100.
extern const char* const kNodeTypeNames[101];
