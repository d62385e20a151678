#include "node/node_basenodedef.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "node/bifs_errors.h"
#include "node/bifs_instream.h"
#include "node/node_impl.h"
#include "node/nodes.h"
#include "node/outstream.h"

// ---- NDT tables ----

namespace {

// Bit width of a local code per NDT id (index 0 and ids above 31 have none).
constexpr std::array<std::uint8_t, 32> kNDTBits = {0, 5, 6, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                                   1, 1, 1, 5, 1, 2, 1, 1, 3, 1, 3, 1, 2, 1, 1, 7};

struct NDTTables {
    std::array<NDTTable, 32> forward;                         // type id -> code
    std::array<std::array<std::uint8_t, 128>, 32> reverse{};  // code -> type id
};

NDTTables& Tables() {
    static NDTTables tables;
    return tables;
}

std::once_flag g_tablesOnce;

void FillTables() {
    NDTTables& t = Tables();
    for (int type = 1; type <= 100; ++type) {
        const NodeDesc* desc = GetNodeDesc(type);
        if (desc == nullptr) continue;
        for (int i = 0; i < desc->codeCount; ++i) {
            const NDTCode& c = desc->codes[i];
            t.forward[c.ndt][type] = c.code;
            t.reverse[c.ndt][c.code & 127] = static_cast<std::uint8_t>(type);
        }
    }
}

const NDTTables& ReadyTables() {
    std::call_once(g_tablesOnce, FillTables);
    return Tables();
}

}  // namespace

void InitNDTTables() {
    ReadyTables();
}

const NDTTable* GetNDTTable(std::uint8_t ndt) {
    if (ndt == 0 || ndt > NDT_Count) return nullptr;
    return &ReadyTables().forward[ndt];
}

std::uint8_t GetNDTBits(std::uint8_t ndt) {
    return ndt < kNDTBits.size() ? kNDTBits[ndt] : 0;
}

std::uint8_t GetLocalCodeInNDT(std::uint8_t ndt, int nodeType) {
    const NDTTable* table = GetNDTTable(ndt);
    if (table == nullptr) return 0;
    auto it = table->find(nodeType);
    return it == table->end() ? 0 : it->second;
}

int GetNodeTypeFromLocal(std::uint8_t ndt, std::uint8_t code) {
    if (ndt == 0 || ndt > NDT_Count || code >= 128) return 0;
    return ReadyTables().reverse[ndt][code];
}

// ---- Node names and the factory ----

int GetNodeTypeName(int nodeType, std::string& name) {
    if (nodeType < 0 || nodeType > 100) {
        name.clear();
        return 1;
    }
    name = kNodeTypeNames[nodeType];
    return 0;
}

int GetNodeTypeFromName(const std::string& name) {
    // The VRML spelling of the two rows the name table shortens.
    if (name == "IndexedLineSet") return 50;
    if (name == "IndexedLineSet2D") return 51;
    for (int type = 1; type <= 100; ++type) {
        if (name == kNodeTypeNames[type]) return type;
    }
    return 0;
}

int GetNodeType(const SingleNode& node) {
    return node.NodeTypeId();
}

const char* VrmlNodeTypeName(int nodeType) {
    if (nodeType == IndexedLineSet::kNodeType) return "IndexedLineSet";
    if (nodeType == IndexedLineSet2D::kNodeType) return "IndexedLineSet2D";
    return nodeType >= 1 && nodeType <= 100 ? kNodeTypeNames[nodeType] : "";
}

const char* VrmlFieldName(int nodeType, const char* field) {
    struct Alias {
        int type;
        const char* catalogue;
        const char* vrml;
    };
    static constexpr Alias kAliases[] = {
        {Text::kNodeType, "_string", "string"},
        {Sound::kNodeType, "minFrint", "minFront"},
        {IndexedFaceSet::kNodeType, "normalPerIndex", "normalPerVertex"},
        {AudioSwitch::kNodeType, "whiceChoice", "whichChoice"},
        {CompositeTexture3D::kNodeType, "viewport", "viewpoint"}};
    for (const Alias& a : kAliases)
        if (a.type == nodeType && std::strcmp(a.catalogue, field) == 0) return a.vrml;
    return field;
}

SFWorldNode* CreateNode(int nodeType) {
    const NodeDesc* desc = GetNodeDesc(nodeType);
    return desc != nullptr ? desc->create() : nullptr;
}

void* CastToNDT(SingleNode* node, std::uint8_t ndt) {
    return node != nullptr ? node->ToNDT(ndt) : nullptr;
}

bool SFNodeSlot::Assign(SingleNode* node, std::uint8_t ndt) {
    void* typed = nullptr;
    if (node != nullptr) {
        typed = CastToNDT(node, ndt);
        if (typed == nullptr) return false;
        node->AddRef();
    }
    SingleNode* old = m_node;
    m_node = node;
    m_typed = typed;
    if (old != nullptr) old->Release();
    return true;
}

// ---- SingleNode: the common coding operations ----

namespace {
// The encoding pass of this thread (0: none); passes take unique numbers.
thread_local std::uint32_t t_encodingPass = 0;
std::atomic<std::uint32_t> g_lastPass{0};
}  // namespace

SingleNode::EncodingPass::EncodingPass() : m_outer(t_encodingPass) {
    std::uint32_t id = g_lastPass.fetch_add(1, std::memory_order_relaxed) + 1;
    if (id == 0) id = g_lastPass.fetch_add(1, std::memory_order_relaxed) + 1;  // wrapped
    t_encodingPass = id;
}

SingleNode::EncodingPass::~EncodingPass() {
    t_encodingPass = m_outer;
}

HRESULT SingleNode::EncodeNode(OutStream& stream, std::uint8_t ndt) {
    // Visit rule: a node standing in n places (reference count n) is written
    // in full at its first visit of a pass and as a reference at the others;
    // the count returns to 0 after the n-th visit, ready for the next pass.
    if (m_visitPass != t_encodingPass) {
        m_visitPass = t_encodingPass;
        m_visitCount = 0;
    }
    std::uint32_t taken = m_visitCount;
    std::uint32_t next = taken + 1;
    m_visitCount = static_cast<std::int64_t>(next) >= GetRef() ? 0 : next;
    if (taken != 0) {
        stream.WriteBits(1, 1);  // isReused
        stream.WriteBits(GetNodeID(), 32);
        return node::kOk;
    }
    // The decoder refuses to nest deeper; so does the encoder.
    const int depth = stream.NodeDepth();
    if (depth >= kMaxDecodeDepth) {
        stream.Fail(bifs_error::TooDeep());
        return node::kFailCode;
    }
    stream.WriteBits(0, 1);
    if (EncodeNodeType(stream, ndt) != node::kOk) return node::kFailCode;
    if (GetNodeID() != 0) {
        stream.WriteBits(1, 1);  // isUpdateable
        stream.WriteBits(GetNodeID(), 32);
    } else {
        stream.WriteBits(0, 1);
    }
    stream.WriteBits(0, 1);  // list form
    const int count = GetDEFCount();
    const auto bits = static_cast<std::uint8_t>(GetDEFBits());
    stream.SetNodeDepth(depth + 1);
    for (int i = 0; i < count; ++i) {
        if (GetDEFField(i) == nullptr) continue;
        stream.WriteBits(0, 1);
        if (bits > 0) stream.WriteBits(static_cast<std::uint64_t>(i), bits);
        if (EncodeField(stream, i) != node::kOk) {
            stream.SetNodeDepth(depth);
            return node::kFailCode;
        }
    }
    stream.SetNodeDepth(depth);
    stream.WriteBits(1, 1);
    return node::kOk;
}

namespace {

// The nodes whose DecodeNode runs on this thread, outermost first.
thread_local std::vector<const SingleNode*> t_decoding;

struct DecodingScope {
    explicit DecodingScope(const SingleNode* node) { t_decoding.push_back(node); }
    ~DecodingScope() { t_decoding.pop_back(); }
    DecodingScope(const DecodingScope&) = delete;
    DecodingScope& operator=(const DecodingScope&) = delete;
};

}  // namespace

bool IsBeingDecoded(const SingleNode* node) {
    return std::find(t_decoding.begin(), t_decoding.end(), node) != t_decoding.end();
}

ExtraDecodeLevel::ExtraDecodeLevel() {
    t_decoding.push_back(nullptr);
}

ExtraDecodeLevel::~ExtraDecodeLevel() {
    t_decoding.pop_back();
}

HRESULT SingleNode::DecodeNode(CBIFS_InStream& stream, SceneTree* tree) {
    if (t_decoding.size() >= static_cast<std::size_t>(kMaxDecodeDepth)) {
        stream.Fail(stream.BitPosition(), bifs_error::TooDeep());
        return node::kFailCode;
    }
    DecodingScope scope(this);
    const int count = GetDEFCount();
    const auto bits = static_cast<std::uint8_t>(GetDEFBits());
    if (stream.ReadBits(1) == 1) {
        // Mask form: one bit per DEF field.
        for (int i = 0; i < count; ++i) {
            if (stream.HasError()) return node::kFailCode;
            if (stream.ReadBits(1) == 1 && DecodeField(stream, i, tree) != node::kOk)
                return node::kFailCode;
        }
        return stream.HasError() ? node::kFailCode : node::kOk;
    }
    // List form: 0 + DEF index + value per field, 1 at the end. A field given
    // twice is refused: its first value, and any node ID defined in it, would
    // silently leave the scene.
    std::bitset<128> given;
    while (!stream.HasError() && stream.ReadBits(1) == 0) {
        if (stream.HasError()) break;
        const std::uint64_t at = stream.BitPosition();
        const std::uint32_t index = stream.ReadBits(bits);
        if (stream.HasError()) return node::kFailCode;
        if (index >= static_cast<std::uint32_t>(count)) {
            stream.Fail(at, bifs_error::FieldOutOfRange(index, NodeTypeId(), count));
            return node::kFailCode;
        }
        if (given.test(index)) {
            std::string name;
            GetDEFFieldName(static_cast<int>(index), name);
            stream.Fail(at, bifs_error::FieldTwice(VrmlFieldName(NodeTypeId(), name.c_str()),
                                                   NodeTypeId()));
            return node::kFailCode;
        }
        given.set(index);
        if (DecodeField(stream, static_cast<int>(index), tree) != node::kOk) return node::kFailCode;
    }
    return stream.HasError() ? node::kFailCode : node::kOk;
}

// ---- MultiNode ----

MultiNode::~MultiNode() {
    while (!m_nodes.empty()) {
        SingleNode* last = m_nodes.back();
        m_nodes.pop_back();
        last->Release();
    }
}

HRESULT MultiNode::EncodeNodeList(OutStream& stream, std::uint8_t ndt) {
    stream.WriteBits(0, 1);  // reserved
    stream.WriteBits(1, 1);  // list form
    // The nodes may change the list's neighbours' counts, never the list.
    for (SingleNode* node : m_nodes) {
        stream.WriteBits(0, 1);
        if (node->EncodeNode(stream, ndt) != node::kOk) return node::kFailCode;
    }
    stream.WriteBits(1, 1);
    return node::kOk;
}

void MultiNode::AddNode(Field* value) {
    SingleNode* node = AsNode(value);
    if (node == nullptr) return;
    node->AddRef();
    m_nodes.push_back(node);
}

void MultiNode::RemoveNode(SingleNode* node) {
    if (node == nullptr) return;
    for (auto it = m_nodes.begin(); it != m_nodes.end(); ++it) {
        if (*it == node) {
            m_nodes.erase(it);
            node->Release();
            return;
        }
    }
}

void MultiNode::RemoveNodeAt(int index) {
    if (index < 0 || index >= GetCount()) return;
    SingleNode* node = m_nodes[index];
    m_nodes.erase(m_nodes.begin() + index);
    node->Release();
}

SingleNode* MultiNode::GetNodeAt(int index) const {
    if (index < 0 || index >= GetCount()) throw std::out_of_range("invalid vector<T> subscript");
    return m_nodes[index];
}

const char* GetNDTName(std::uint8_t ndt) {
    static const char* const kNames[] = {"",
                                         "SF2DNode",
                                         "SF3DNode",
                                         "SFAppearanceNode",
                                         "SFAudioNode",
                                         "SFBackground2DNode",
                                         "SFBackground3DNode",
                                         "SFColorNode",
                                         "SFCoordinate2DNode",
                                         "SFCoordinateNode",
                                         "SFExpressionNode",
                                         "SFFaceDefMeshNode",
                                         "SFFaceDefTablesNode",
                                         "SFFaceDefTransformNode",
                                         "SFFAPNode",
                                         "SFFDPNode",
                                         "SFFITNode",
                                         "SFFogNode",
                                         "SFFontStyleNode",
                                         "SFGeometryNode",
                                         "SFLinePropertiesNode",
                                         "SFMaterialNode",
                                         "SFNavigationInfoNode",
                                         "SFNormalNode",
                                         "SFStreamingNode",
                                         "SFTextureCoordinateNode",
                                         "SFTextureNode",
                                         "SFTextureTransformNode",
                                         "SFTopNode",
                                         "SFViewpointNode",
                                         "SFVisemeNode",
                                         "SFWorldNode"};
    return ndt <= NDT_Count ? kNames[ndt] : "";
}

std::uint8_t GetNDTOfTable(const NDTTable* table) {
    for (std::uint8_t id = 1; id <= NDT_Count; ++id)
        if (table != nullptr && GetNDTTable(id) == table) return id;
    return 0;
}
