#include "node/declared_node.h"

#include <cmath>
#include <set>

// One declared field: its name and type name, and its value (a value or node
// list in `value`, an SFNode in `node`; neither for an eventIn).
struct DeclaredNode::Member {
    std::string name;
    std::string typeName;
    FieldKind kind = FieldKind::Field;
    std::uint8_t type = kFieldNoType;
    bool multi = false;
    std::unique_ptr<Field> value;
    std::unique_ptr<SFNodeField<SFWorldNode>> node;
};

namespace {

std::unique_ptr<Field> MakeValue(std::uint8_t type, bool multi) {
    if (type == kFieldMFNode) return std::make_unique<MFNode<SFWorldNode>>();
    if (multi) {
        switch (type) {
            case kFieldSFColor:
                return std::make_unique<MFField<SFColor>>();
            case kFieldSFFloat:
                return std::make_unique<MFField<SFFloat>>();
            case kFieldSFInt32:
                return std::make_unique<MFField<SFInt32>>();
            case kFieldSFRotation:
                return std::make_unique<MFField<SFRotation>>();
            case kFieldSFString:
                return std::make_unique<MFField<SFString>>();
            case kFieldSFURL:
                return std::make_unique<MFField<SFURL>>();
            case kFieldSFVec2f:
                return std::make_unique<MFField<SFVec2f>>();
            case kFieldSFVec3f:
                return std::make_unique<MFField<SFVec3f>>();
            default:
                return nullptr;
        }
    }
    // A rotation starts as the identity about z, as VRML97's default.
    if (type == kFieldSFRotation) return std::make_unique<SFRotation>(0.0f, 0.0f, 1.0f, 0.0f);
    return CreateSFField(type);
}

const std::string kNoName;

}  // namespace

DeclaredNode::DeclaredNode(int nodeType) {
    m_desc.type = nodeType;
    m_desc.name = nodeType == kScript ? "Script" : "PixelTexture";
    RebuildDesc();
}

DeclaredNode::~DeclaredNode() = default;

DeclaredNode* DeclaredNode::Of(SingleNode* node) {
    return node != nullptr && Declares(node->NodeTypeId()) ? dynamic_cast<DeclaredNode*>(node)
                                                           : nullptr;
}

const DeclaredNode* DeclaredNode::Of(const SingleNode* node) {
    return node != nullptr && Declares(node->NodeTypeId()) ? dynamic_cast<const DeclaredNode*>(node)
                                                           : nullptr;
}

int DeclaredNode::Declare(std::string_view name, FieldKind kind, std::uint8_t type, bool multi,
                          std::string_view typeName) {
    // The numberings are stored in bytes.
    if (FindField(name) >= 0 || m_fields.size() >= 255) return -1;
    auto member = std::make_unique<Member>();
    member->name = name;
    member->typeName = typeName;
    member->kind = kind;
    member->type = type;
    member->multi = multi || type == kFieldMFNode;
    if (kind != FieldKind::EventIn) {
        if (type == kFieldSFNode)
            member->node = std::make_unique<SFNodeField<SFWorldNode>>();
        else
            member->value = MakeValue(type, member->multi);
    }
    m_fields.push_back(std::move(member));
    RebuildDesc();
    return static_cast<int>(m_fields.size()) - 1;
}

const std::string& DeclaredNode::TypeName(int index) const {
    return index >= 0 && index < FieldCount() ? m_fields[index]->typeName : kNoName;
}

int DeclaredNode::FindField(std::string_view name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i]->name == name) return static_cast<int>(i);
    return -1;
}

void* DeclaredNode::ToNDT(std::uint8_t ndt) {
    if (ndt == NDT_SFWorldNode) return static_cast<SFWorldNode*>(this);
    if (m_desc.type == kPixelTexture)
        return ndt == NDT_SFTextureNode ? static_cast<SFTextureNode*>(this) : nullptr;
    if (ndt == NDT_SF3DNode) return static_cast<SF3DNode*>(this);
    if (ndt == NDT_SF2DNode) return static_cast<SF2DNode*>(this);
    return nullptr;
}

NodeImpl::Slot DeclaredNode::SlotAt(int index) {
    if (index < 0 || index >= FieldCount()) return {};
    Member& m = *m_fields[index];
    if (m.node) return Slot(m.node.get());
    return Slot(m.value.get());
}

void DeclaredNode::RebuildDesc() {
    m_descs.clear();
    m_def.clear();
    m_in.clear();
    m_out.clear();
    m_defNodes.clear();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const Member& m = *m_fields[i];
        FieldDesc d{};
        d.name = m.name.c_str();
        d.kind = m.kind;
        d.type = m.type;
        d.multi = m.multi;
        d.stored = m.kind != FieldKind::EventIn && (m.value || m.node);
        d.ndt = m.type == kFieldSFNode || m.type == kFieldMFNode ? NDT_SFWorldNode : 0;
        d.role = FieldRole::Plain;
        d.target = -1;
        d.def = d.in = d.out = d.dyn = -1;
        const auto all = static_cast<std::uint8_t>(i);
        if (m.kind == FieldKind::Field || m.kind == FieldKind::ExposedField) {
            d.def = static_cast<std::int16_t>(m_def.size());
            if (d.ndt != 0) m_defNodes.push_back(static_cast<std::uint8_t>(m_def.size()));
            m_def.push_back(all);
        }
        if (m.kind == FieldKind::EventIn || m.kind == FieldKind::ExposedField) {
            d.in = static_cast<std::int16_t>(m_in.size());
            m_in.push_back(all);
        }
        if (m.kind == FieldKind::EventOut || m.kind == FieldKind::ExposedField) {
            d.out = static_cast<std::int16_t>(m_out.size());
            m_out.push_back(all);
        }
        d.min = -HUGE_VAL;
        d.max = HUGE_VAL;
        d.keep = std::nan("");
        m_descs.push_back(d);
    }
    m_desc.fields = m_descs.data();
    m_desc.fieldCount = static_cast<int>(m_descs.size());
    m_desc.defToAll = m_def.data();
    m_desc.defCount = static_cast<int>(m_def.size());
    m_desc.defBits = 0;
    m_desc.inToAll = m_in.data();
    m_desc.inCount = static_cast<int>(m_in.size());
    m_desc.outToAll = m_out.data();
    m_desc.outCount = static_cast<int>(m_out.size());
    m_desc.dynToAll = nullptr;
    m_desc.dynCount = 0;
    m_desc.codes = nullptr;
    m_desc.codeCount = 0;
    m_desc.create = nullptr;
    m_desc.defNodes = m_defNodes.data();
    m_desc.defNodeCount = static_cast<int>(m_defNodes.size());
}

namespace {

int Strip(SingleNode* node, std::set<SingleNode*>& seen) {
    if (node == nullptr || !seen.insert(node).second) return 0;
    int emptied = 0;
    std::string name;
    for (int i = 0; node->GetFieldName(i, name) == 0; ++i) {
        Field* field = node->GetField(i);
        if (SingleNode* child = AsNode(field)) {
            if (DeclaredNode::Of(child) != nullptr) {
                node->SetField(i, nullptr);
                ++emptied;
            } else {
                emptied += Strip(child, seen);
            }
        } else if (MultiNode* list = AsNodeList(field)) {
            for (int k = list->GetCount() - 1; k >= 0; --k) {
                SingleNode* child = list->GetNodeAt(k);
                if (DeclaredNode::Of(child) != nullptr) {
                    list->RemoveNodeAt(k);
                    ++emptied;
                } else {
                    emptied += Strip(child, seen);
                }
            }
        }
    }
    return emptied;
}

}  // namespace

int StripDeclaredNodes(SingleNode* root) {
    std::set<SingleNode*> seen;
    return Strip(root, seen);
}
