// The node interface of the scene model: SingleNode (every node, and the
// SFNode field value), the 31 node data type (NDT) classes through which a
// node says where it may stand, node lists (MultiNode, MFNode<NDT>), the NDT
// tables and the node factory.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "node/node_typedef.h"

class SceneTree;

// NDT ids: the place of each NDT class name in case-insensitive alphabetical order.
enum NDTId : std::uint8_t {
    NDT_SF2DNode = 1,
    NDT_SF3DNode,
    NDT_SFAppearanceNode,
    NDT_SFAudioNode,
    NDT_SFBackground2DNode,
    NDT_SFBackground3DNode,
    NDT_SFColorNode,
    NDT_SFCoordinate2DNode,
    NDT_SFCoordinateNode,
    NDT_SFExpressionNode,
    NDT_SFFaceDefMeshNode,
    NDT_SFFaceDefTablesNode,
    NDT_SFFaceDefTransformNode,
    NDT_SFFAPNode,
    NDT_SFFDPNode,
    NDT_SFFITNode,
    NDT_SFFogNode,
    NDT_SFFontStyleNode,
    NDT_SFGeometryNode,
    NDT_SFLinePropertiesNode,
    NDT_SFMaterialNode,
    NDT_SFNavigationInfoNode,
    NDT_SFNormalNode,
    NDT_SFStreamingNode,
    NDT_SFTextureCoordinateNode,
    NDT_SFTextureNode,
    NDT_SFTextureTransformNode,
    NDT_SFTopNode,
    NDT_SFViewpointNode,
    NDT_SFVisemeNode,
    NDT_SFWorldNode,
    NDT_Count = NDT_SFWorldNode,
};

// One NDT table: node type id -> local code (1-based) in that NDT.
using NDTTable = std::map<int, std::uint8_t>;

// Every node. Holds the node ID, an intrusive reference count (1 at creation;
// the last Release deletes the node and, through its fields, its subtree) and
// the encode visit count used to write shared nodes once per BIFS pass.
class SingleNode : public Field {
  public:
    SingleNode() = default;
    SingleNode(const SingleNode&) = delete;
    SingleNode& operator=(const SingleNode&) = delete;

    // Field slots.
    std::uint8_t GetFieldType() const override { return kFieldSFNode; }
    int IsSingle() const override { return 1; }
    HRESULT Encode(OutStream&) const override { return node::kFailCode; }
    HRESULT Decode(CBIFS_InStream&) override { return node::kFailCode; }
    ~SingleNode() override = default;

    // Writes the node as an SFNode in the context of NDT `ndt`: in full at the
    // first visit of a pass, as a reference (isReused + ID) at later visits.
    virtual HRESULT EncodeNode(OutStream& stream, std::uint8_t ndt);
    virtual HRESULT EncodeField(OutStream& stream, int defIndex) = 0;
    // Writes the node's local code in NDT `ndt` with that NDT's width; nothing
    // for an NDT the node does not belong to.
    virtual HRESULT EncodeNodeType(OutStream& stream, std::uint8_t ndt) = 0;
    // Reads the field description (list or mask form) and sets the fields.
    // Nodes with IDs met on the way are registered with `tree` when given.
    virtual HRESULT DecodeNode(CBIFS_InStream& stream, SceneTree* tree);
    virtual HRESULT DecodeField(CBIFS_InStream& stream, int defIndex, SceneTree* tree) = 0;
    virtual int GetDEFCount() const = 0;
    // The DEF indices of the node-valued fields, for walks that follow only nodes.
    virtual std::span<const std::uint8_t> GetDEFNodeFields() const = 0;
    virtual int GetDEFBits() const = 0;
    // Sizes of the IN (eventIn + exposedField) and OUT (eventOut +
    // exposedField) numberings, which ROUTEs address.
    virtual int GetINCount() const { return 0; }
    virtual int GetOUTCount() const { return 0; }

    // ALL numbering: every field, in the order of the node's semantic table.
    // GetField gives null for eventIns without a stored value and for empty
    // SFNode fields; out-of-range indices give null / 1.
    virtual Field* GetField(int index) = 0;
    virtual int SetField(int index, Field* value) = 0;
    virtual int GetFieldName(int index, std::string& name) const = 0;

    // The same through the DEF (field + exposedField), IN (eventIn +
    // exposedField), OUT (eventOut + exposedField) and DYN (animatable) numberings.
    virtual Field* GetDEFField(int index) = 0;
    virtual int SetDEFField(int index, Field* value) = 0;
    virtual int GetDEFFieldName(int index, std::string& name) const = 0;
    virtual Field* GetINField(int index) = 0;
    virtual int SetINField(int index, Field* value) = 0;
    virtual int GetINFieldName(int index, std::string& name) const = 0;
    virtual Field* GetOUTField(int index) = 0;
    virtual int SetOUTField(int index, Field* value) = 0;
    virtual int GetOUTFieldName(int index, std::string& name) const = 0;
    virtual Field* GetDYNField(int index) = 0;
    virtual int SetDYNField(int index, Field* value) = 0;
    virtual int GetDYNFieldName(int index, std::string& name) const = 0;

    // ALL index of a DEF/IN/OUT/DYN index; 0 when out of range.
    virtual int DEFToAll(int) const { return 0; }
    virtual int INToAll(int) const { return 0; }
    virtual int OUTToAll(int) const { return 0; }
    virtual int DYNToAll(int) const { return 0; }

    // For a node-valued field: the table of the NDT its nodes must belong to.
    virtual const NDTTable* GetFieldNDT(int) const { return nullptr; }
    virtual const NDTTable* GetDEFFieldNDT(int) const { return nullptr; }
    virtual const NDTTable* GetINFieldNDT(int) const { return nullptr; }
    virtual const NDTTable* GetOUTFieldNDT(int) const { return nullptr; }
    virtual const NDTTable* GetDYNFieldNDT(int) const { return nullptr; }

    // Forces field values into their legal ranges; 0.
    virtual int CheckFieldValues() = 0;
    // This node seen as its NDT class `ndt` (a pointer to that base), or
    // null when the node does not belong to it. A direct cast per class
    // rather than a cross-cast through run-time type information.
    virtual void* ToNDT(std::uint8_t ndt) = 0;
    // The node type id of the class (1..), as GetNodeType gives it.
    virtual int NodeTypeId() const = 0;

    void AddRef() { ++m_refCount; }
    void Release() {
        if (--m_refCount <= 0) delete this;
    }
    std::int32_t GetRef() const { return m_refCount; }
    std::uint32_t GetNodeID() const { return m_nodeID; }
    // Stores a non-zero ID (0); an ID of 0 changes nothing (1).
    int SetNodeID(std::uint32_t id) {
        if (id == 0) return 1;
        m_nodeID = id;
        return 0;
    }
    std::uint32_t GetVisitCount() const { return m_visitCount; }

    // While an EncodingPass lives on this thread, EncodeNode treats a node's
    // first visit in the pass as visit 0, without a walk over the tree to
    // reset the counts beforehand. Without a pass the counts carry on.
    class EncodingPass {
      public:
        EncodingPass();
        ~EncodingPass();
        EncodingPass(const EncodingPass&) = delete;
        EncodingPass& operator=(const EncodingPass&) = delete;

      private:
        std::uint32_t m_outer;
    };

    // Scratch mark for whole-tree walks (the scene tree's registry), so that
    // a walk need not keep a set of the nodes it met. Each walk takes fresh
    // values; walks over the same nodes must not run at the same time.
    std::uint32_t GetWalkMark() const { return m_walkMark; }
    void SetWalkMark(std::uint32_t mark) { m_walkMark = mark; }

  protected:
    std::uint32_t m_visitCount = 0;
    std::uint32_t m_visitPass = 0;  // the pass of the last visit; 0 is "no pass"

  private:
    std::uint32_t m_walkMark = 0;
    std::uint32_t m_nodeID = 0;
    std::int32_t m_refCount = 1;
};

// The NDT classes. Each is a virtual base of the node classes that belong to
// it, so a node object holds exactly one SingleNode; GetLocalCode gives the
// node's 1-based local code in that NDT.
#define ORVANE_DECLARE_NDT(name)                            \
    class name : public virtual SingleNode {                \
      public:                                               \
        static constexpr std::uint8_t kNDT = NDT_##name;    \
        virtual std::uint8_t GetLocalCode(name*) const = 0; \
    };
ORVANE_DECLARE_NDT(SF2DNode)
ORVANE_DECLARE_NDT(SF3DNode)
ORVANE_DECLARE_NDT(SFAppearanceNode)
ORVANE_DECLARE_NDT(SFAudioNode)
ORVANE_DECLARE_NDT(SFBackground2DNode)
ORVANE_DECLARE_NDT(SFBackground3DNode)
ORVANE_DECLARE_NDT(SFColorNode)
ORVANE_DECLARE_NDT(SFCoordinate2DNode)
ORVANE_DECLARE_NDT(SFCoordinateNode)
ORVANE_DECLARE_NDT(SFExpressionNode)
ORVANE_DECLARE_NDT(SFFaceDefMeshNode)
ORVANE_DECLARE_NDT(SFFaceDefTablesNode)
ORVANE_DECLARE_NDT(SFFaceDefTransformNode)
ORVANE_DECLARE_NDT(SFFAPNode)
ORVANE_DECLARE_NDT(SFFDPNode)
ORVANE_DECLARE_NDT(SFFITNode)
ORVANE_DECLARE_NDT(SFFogNode)
ORVANE_DECLARE_NDT(SFFontStyleNode)
ORVANE_DECLARE_NDT(SFGeometryNode)
ORVANE_DECLARE_NDT(SFLinePropertiesNode)
ORVANE_DECLARE_NDT(SFMaterialNode)
ORVANE_DECLARE_NDT(SFNavigationInfoNode)
ORVANE_DECLARE_NDT(SFNormalNode)
ORVANE_DECLARE_NDT(SFStreamingNode)
ORVANE_DECLARE_NDT(SFTextureCoordinateNode)
ORVANE_DECLARE_NDT(SFTextureNode)
ORVANE_DECLARE_NDT(SFTextureTransformNode)
ORVANE_DECLARE_NDT(SFTopNode)
ORVANE_DECLARE_NDT(SFViewpointNode)
ORVANE_DECLARE_NDT(SFVisemeNode)
ORVANE_DECLARE_NDT(SFWorldNode)
#undef ORVANE_DECLARE_NDT

// Base of the node lists. Owns one reference per entry (a node standing twice
// holds two).
class MultiNode : public Field {
  public:
    MultiNode() = default;
    MultiNode(const MultiNode&) = delete;
    MultiNode& operator=(const MultiNode&) = delete;

    std::uint8_t GetFieldType() const override { return kFieldMFNode; }
    int IsSingle() const override { return 0; }
    HRESULT Encode(OutStream&) const override { return node::kFailCode; }
    HRESULT Decode(CBIFS_InStream&) override { return node::kFailCode; }
    // Releases every node, the last first.
    ~MultiNode() override;

    // Writes the list (0, 1, then 0 + node per entry, then 1) in NDT `ndt`.
    virtual HRESULT EncodeNodeList(OutStream& stream, std::uint8_t ndt);
    // Appends a node (taking a reference); anything else is ignored.
    virtual void AddNode(Field* value);
    // Removes the first occurrence of `node` and releases it; null does nothing.
    virtual void RemoveNode(SingleNode* node);
    // Removes and releases the node at `index` when it is in range.
    virtual void RemoveNodeAt(int index);
    // Puts a node of the list's NDT in place of the node at `index`.
    virtual void ReplaceNodeAt(int index, Field* value) = 0;
    // The NDT id the list's nodes belong to.
    virtual std::uint8_t GetNDT() const = 0;

    int GetCount() const { return static_cast<int>(m_nodes.size()); }
    // Throws std::out_of_range("invalid vector<T> subscript") past the end.
    SingleNode* GetNodeAt(int index) const;
    const std::vector<SingleNode*>& Nodes() const { return m_nodes; }

  protected:
    std::vector<SingleNode*> m_nodes;
};

// A node list whose nodes belong to the NDT class `NDT`.
template <class NDT>
class MFNode final : public MultiNode {
  public:
    void ReplaceNodeAt(int index, Field* value) override {
        if (index < 0 || index >= GetCount()) return;
        auto* node = dynamic_cast<NDT*>(value);
        if (node == nullptr) return;
        SingleNode* single = node;
        single->AddRef();
        m_nodes[index]->Release();
        m_nodes[index] = single;
    }
    std::uint8_t GetNDT() const override { return NDT::kNDT; }
};

// The grouping nodes (those with addChildren/removeChildren) also derive from
// this interface; reach it with dynamic_cast from any node view.
class GroupingNode {
  public:
    // Appends a node to the children list (anything else is ignored).
    virtual void AddChildren(Field* value) = 0;
    // Removes and releases the child at `index` when it is in range.
    virtual void RemoveChildren(int index) = 0;
    virtual MultiNode& Children() = 0;

  protected:
    ~GroupingNode() = default;
};

// The field as a node or a node list, or null. A type-code test instead of a
// dynamic_cast: tree walks (encoding, the scene tree's registries) do this
// for every field of every node.
inline SingleNode* AsNode(Field* field) {
    return field != nullptr && field->GetFieldType() == kFieldSFNode
               ? static_cast<SingleNode*>(field)
               : nullptr;
}
inline MultiNode* AsNodeList(Field* field) {
    return field != nullptr && field->GetFieldType() == kFieldMFNode
               ? static_cast<MultiNode*>(field)
               : nullptr;
}

// Fills the NDT tables from every node class; call once before anything else.
// The lookups below also fill them on first use, so calling it is optional.
void InitNDTTables();
// The table of NDT `ndt` (1..31); null for any other id.
const NDTTable* GetNDTTable(std::uint8_t ndt);
// The NDT class name of `ndt` ("SF3DNode"), "" for an unknown id.
const char* GetNDTName(std::uint8_t ndt);
// The NDT id whose table `table` is; 0 when none.
std::uint8_t GetNDTOfTable(const NDTTable* table);
// Bit width of a local code in NDT `ndt`; 0 for an unknown id.
std::uint8_t GetNDTBits(std::uint8_t ndt);
// Local code of node type `nodeType` in NDT `ndt`; 0 when absent.
std::uint8_t GetLocalCodeInNDT(std::uint8_t ndt, int nodeType);
// Node type id of local code `code` in NDT `ndt`; 0 when absent.
int GetNodeTypeFromLocal(std::uint8_t ndt, std::uint8_t code);

// Name of node type `nodeType` (row 0 "reserved"); 1 and "" above 100.
int GetNodeTypeName(int nodeType, std::string& name);
// The node type id of a name as the node-name table spells it, or of the VRML
// names "IndexedLineSet" / "IndexedLineSet2D" (rows 50/51); 0 when unknown.
int GetNodeTypeFromName(const std::string& name);
// The node type id of a node.
int GetNodeType(const SingleNode& node);
// The name VRML97 text gives node type `nodeType`: the node-name table's,
// except "IndexedLineSet" and "IndexedLineSet2D" for the two rows that table
// shortens; "" for ids without a name.
const char* VrmlNodeTypeName(int nodeType);
// The name VRML97 text gives the field the catalogue calls `field` in node
// type `nodeType` ("string" for Text's "_string", "normalPerVertex" for
// IndexedFaceSet's "normalPerIndex", ...); `field` itself for all others.
const char* VrmlFieldName(int nodeType, const char* field);

// A new node of type `nodeType` with its defaults and reference count 1, or
// null for 0, ids above 100 and the types without a class (22, 67, 80).
SFWorldNode* CreateNode(int nodeType);
