#include "node/node_impl.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "node/bifs_errors.h"
#include "node/bifs_instream.h"
#include "node/outstream.h"
#include "node/scenetree.h"

namespace {

bool BelongsTo(SingleNode* node, std::uint8_t ndt) {
    return GetLocalCodeInNDT(ndt, GetNodeType(*node)) != 0;
}

// A string list takes the other kind of string list too: the loader builds an
// MFField<SFURL> only for fields whose name ends in "url".
template <class To, class From>
int AssignStrings(MFField<To>& to, const Field& value) {
    auto* from = dynamic_cast<const MFField<From>*>(&value);
    if (from == nullptr) return 1;
    std::vector<To> copy;
    copy.reserve(from->Values().size());
    for (const From& s : from->Values()) copy.emplace_back(s.Get());
    to.Values() = std::move(copy);
    return 0;
}

int AssignValue(Field& member, bool multi, Field& value) {
    if (!multi) {
        auto& single = static_cast<SFField&>(member);
        if (single.AssignFrom(value) == 0) return 0;
        // SFString and SFURL carry the same text.
        if (auto* s = dynamic_cast<SFString*>(&member)) {
            if (auto* u = dynamic_cast<const SFURL*>(&value)) return s->Set(u->Get()), 0;
        }
        if (auto* u = dynamic_cast<SFURL*>(&member)) {
            if (auto* s = dynamic_cast<const SFString*>(&value)) return u->Set(s->Get()), 0;
        }
        return 1;
    }
    auto& list = static_cast<MultiField&>(member);
    if (list.AssignFrom(value) == 0) return 0;
    if (auto* urls = dynamic_cast<MFField<SFURL>*>(&member))
        return AssignStrings<SFURL, SFString>(*urls, value);
    if (auto* strings = dynamic_cast<MFField<SFString>*>(&member)) {
        return AssignStrings<SFString, SFURL>(*strings, value);
    }
    return 1;
}

double Clamp(double v, const FieldDesc& f) {
    if (v == f.keep || std::isnan(v)) return v;
    return std::min(std::max(v, f.min), f.max);
}

template <class T>
void ClampComponents(T& value, const FieldDesc& f) {
    for (int i = 0; i < T::kComponents; ++i) value[i] = static_cast<float>(Clamp(value[i], f));
}

void ClampSingle(SFField& value, const FieldDesc& f) {
    switch (value.GetFieldType()) {
        case kFieldSFFloat: {
            auto& v = static_cast<SFFloat&>(value);
            v.Set(static_cast<float>(Clamp(v.Get(), f)));
            break;
        }
        case kFieldSFTime: {
            auto& v = static_cast<SFTime&>(value);
            v.Set(Clamp(v.Get(), f));
            break;
        }
        case kFieldSFInt32: {
            auto& v = static_cast<SFInt32&>(value);
            v.Set(static_cast<std::int32_t>(Clamp(v.Get(), f)));
            break;
        }
        case kFieldSFVec2f:
            ClampComponents(static_cast<SFVec2f&>(value), f);
            break;
        case kFieldSFVec3f:
            ClampComponents(static_cast<SFVec3f&>(value), f);
            break;
        case kFieldSFColor:
            ClampComponents(static_cast<SFColor&>(value), f);
            break;
        default:
            break;  // booleans, strings and rotations have no bounds
    }
}

}  // namespace

// ---- field access ----

Field* NodeImpl::GetField(int index) {
    const FieldDesc* f = FieldInfo(index);
    if (f == nullptr) return nullptr;
    Slot slot = SlotAt(index);
    if (slot.node != nullptr) return slot.node->Node();
    return slot.value;
}

int NodeImpl::GetFieldName(int index, std::string& name) const {
    const FieldDesc* f = FieldInfo(index);
    if (f == nullptr) return 1;
    name = f->name;
    return 0;
}

int NodeImpl::SetField(int index, Field* value) {
    const FieldDesc* f = FieldInfo(index);
    if (f == nullptr) return 1;
    switch (f->role) {
        case FieldRole::RemoveChildren:
        case FieldRole::Children:
            return 1;
        case FieldRole::AddChildren: {
            // Children of grouping nodes arrive here whatever their NDT.
            if (AsNode(value) == nullptr) return 1;
            static_cast<MultiNode*>(SlotAt(f->target).value)->AddNode(value);
            return 0;
        }
        case FieldRole::Forward:
            return SetField(f->target, value);
        case FieldRole::Plain:
            break;
    }
    Slot slot = SlotAt(index);
    if (slot.node != nullptr) {
        if (value == nullptr) return slot.node->Assign(nullptr, f->ndt) ? 0 : 1;
        auto* node = AsNode(value);
        if (node == nullptr) return 1;
        return slot.node->Assign(node, f->ndt) ? 0 : 1;
    }
    if (slot.value == nullptr || value == nullptr) return 1;
    if (f->type == kFieldMFNode) {
        // Another node list (Switch.choice, LOD.level, ...): a node of the
        // list's NDT is appended.
        auto* node = AsNode(value);
        if (node == nullptr || CastToNDT(node, f->ndt) == nullptr) return 1;
        static_cast<MultiNode*>(slot.value)->AddNode(node);
        return 0;
    }
    return AssignValue(*slot.value, f->multi, *value);
}

const NDTTable* NodeImpl::GetFieldNDT(int index) const {
    const FieldDesc* f = FieldInfo(index);
    if (f == nullptr || f->ndt == 0) return nullptr;
    return GetNDTTable(f->ndt);
}

int NodeImpl::CheckFieldValues() {
    const NodeDesc& d = Desc();
    for (int i = 0; i < d.fieldCount; ++i) {
        const FieldDesc& f = d.fields[i];
        if (!f.stored || (f.min == -HUGE_VAL && f.max == HUGE_VAL)) continue;
        Field* value = SlotAt(i).value;
        if (value == nullptr || f.type == kFieldMFNode) continue;
        if (!f.multi) {
            ClampSingle(static_cast<SFField&>(*value), f);
            continue;
        }
        auto& list = static_cast<MultiField&>(*value);
        for (int e = 0; e < list.GetCount(); ++e) ClampSingle(*list.GetElement(e), f);
    }
    return 0;
}

// ---- coding ----

HRESULT NodeImpl::EncodeNodeType(OutStream& stream, std::uint8_t ndt) {
    const NodeDesc& d = Desc();
    const std::uint8_t bits = GetNDTBits(ndt);
    for (int i = 0; i < d.codeCount; ++i) {
        if (d.codes[i].ndt == ndt && bits > 0) {
            stream.WriteBits(d.codes[i].code, bits);
            return node::kOk;
        }
    }
    // The top node's code 0 is Transform2D, which has no code of its own there.
    if (ndt == NDT_SFTopNode && TopNodeCode(d.type) == 0) {
        stream.WriteBits(0, bits);
        return node::kOk;
    }
    stream.Fail(bifs_error::NodeNotInNDT(d.type, ndt));
    return node::kFailCode;
}

HRESULT NodeImpl::EncodeField(OutStream& stream, int defIndex) {
    const NodeDesc& d = Desc();
    if (defIndex < 0 || defIndex >= d.defCount) return node::kFailCode;
    const int all = d.defToAll[defIndex];
    const FieldDesc& f = d.fields[all];
    Slot slot = SlotAt(all);
    HRESULT result = node::kFailCode;
    if (slot.node != nullptr) {
        SingleNode* node = slot.node->Node();
        if (node != nullptr) result = node->EncodeNode(stream, f.ndt);
    } else if (slot.value != nullptr) {
        result = f.type == kFieldMFNode
                     ? static_cast<MultiNode*>(slot.value)->EncodeNodeList(stream, f.ndt)
                     : slot.value->Encode(stream);
    }
    if (result != node::kOk)
        stream.LocateError(std::string(VrmlNodeTypeName(d.type)) + "." +
                           VrmlFieldName(d.type, f.name));
    return result;
}

namespace {

// Reads a value of the field's own class on the stack and stores it only
// when the whole value was read, so a failed read leaves the field as it was.
template <class T>
HRESULT DecodeValueInto(CBIFS_InStream& stream, Field& field) {
    T value;
    if (value.Decode(stream) != node::kOk) return node::kFailCode;
    static_cast<T&>(field) = value;
    return node::kOk;
}

}  // namespace

HRESULT NodeImpl::DecodeField(CBIFS_InStream& stream, int defIndex, SceneTree* tree) {
    const NodeDesc& d = Desc();
    if (defIndex < 0 || defIndex >= d.defCount) return node::kFailCode;
    const int all = d.defToAll[defIndex];
    const FieldDesc& f = d.fields[all];
    Slot slot = SlotAt(all);
    if (slot.node != nullptr) {
        SingleNode* node = nullptr;
        if (DecodeSFNode(stream, f.ndt, tree, this, nullptr, &node) != node::kOk)
            return node::kFailCode;
        bool stored = slot.node->Assign(node, f.ndt);
        node->Release();  // the field holds its own reference
        if (!stored) stream.MarkError();
        return stored ? node::kOk : node::kFailCode;
    }
    if (slot.value == nullptr) return node::kFailCode;
    if (f.type == kFieldMFNode)
        return DecodeNodeList(stream, *static_cast<MultiNode*>(slot.value), f.ndt, tree);
    if (f.multi) {
        auto& list = static_cast<MultiField&>(*slot.value);
        list.Clear();
        return list.Decode(stream);
    }
    switch (f.type) {
        case kFieldSFBool:
            return DecodeValueInto<SFBool>(stream, *slot.value);
        case kFieldSFInt32:
            return DecodeValueInto<SFInt32>(stream, *slot.value);
        case kFieldSFFloat:
            return DecodeValueInto<SFFloat>(stream, *slot.value);
        case kFieldSFTime:
            return DecodeValueInto<SFTime>(stream, *slot.value);
        case kFieldSFVec2f:
            return DecodeValueInto<SFVec2f>(stream, *slot.value);
        case kFieldSFVec3f:
            return DecodeValueInto<SFVec3f>(stream, *slot.value);
        case kFieldSFColor:
            return DecodeValueInto<SFColor>(stream, *slot.value);
        case kFieldSFRotation:
            return DecodeValueInto<SFRotation>(stream, *slot.value);
        default:
            break;
    }
    // Strings append to what they hold, so read into a fresh value.
    std::unique_ptr<SFField> fresh = CreateSFField(f.type);
    if (fresh == nullptr || fresh->Decode(stream) != node::kOk) return node::kFailCode;
    return static_cast<SFField*>(slot.value)->AssignFrom(*fresh) == 0 ? node::kOk : node::kFailCode;
}

HRESULT DecodeSFNode(CBIFS_InStream& stream, std::uint8_t ndt, SceneTree* tree,
                     SingleNode* holderNode, MultiNode* holderList, SingleNode** out) {
    *out = nullptr;
    if (stream.ReadBits(1) == 1) {
        // isReused: a node decoded earlier, by its ID.
        const std::uint64_t at = stream.BitPosition();
        const std::uint32_t id = stream.ReadBits(32);
        if (stream.HasError()) return node::kFailCode;
        SingleNode* node = tree != nullptr ? tree->Lookup(id) : nullptr;
        if (node == nullptr) {
            stream.Fail(at, bifs_error::NotDefined(id));
            return node::kFailCode;
        }
        if (!BelongsTo(node, ndt)) {
            stream.Fail(at, bifs_error::ReusedOutsideNDT(id, GetNodeType(*node), ndt));
            return node::kFailCode;
        }
        if (IsBeingDecoded(node)) {
            stream.Fail(at, bifs_error::UsedInsideItself(id));
            return node::kFailCode;
        }
        node->AddRef();
        if (holderList != nullptr) {
            tree->AddListUse(id, holderList);
        } else {
            tree->AddUse(id, holderNode);
        }
        *out = node;
        return node::kOk;
    }
    const std::uint64_t codeAt = stream.BitPosition();
    const std::uint32_t code = stream.ReadBits(GetNDTBits(ndt));
    if (stream.HasError()) return node::kFailCode;
    const int type = GetNodeTypeFromLocal(ndt, static_cast<std::uint8_t>(code));
    if (type == 0) {
        stream.Fail(codeAt, bifs_error::CodeNotInNDT(code, ndt));
        return node::kFailCode;
    }
    auto node = node::Ptr<SingleNode>::Adopt(CreateNode(type));
    if (stream.ReadBits(1) == 1) {  // isUpdateable: a node ID follows
        const std::uint64_t at = stream.BitPosition();
        const std::uint32_t id = stream.ReadBits(32);
        if (stream.HasError()) return node::kFailCode;
        if (id != 0 && tree != nullptr && tree->Lookup(id) != nullptr) {
            stream.Fail(at, bifs_error::DefinedTwice(id));
            return node::kFailCode;
        }
        if (node->SetNodeID(id) == 0 && tree != nullptr) {
            if (holderList != nullptr) {
                tree->RegisterListNode(id, node.Get(), holderList);
            } else {
                tree->RegisterNode(id, node.Get(), holderNode);
            }
        }
    }
    if (stream.HasError() || node->DecodeNode(stream, tree) != node::kOk) {
        stream.MarkError();
        return node::kFailCode;
    }
    *out = node.Detach();
    return node::kOk;
}

HRESULT DecodeNodeList(CBIFS_InStream& stream, MultiNode& list, std::uint8_t ndt, SceneTree* tree) {
    const std::uint64_t at = stream.BitPosition();
    if (stream.ReadBits(1) == 1)
        return stream.HasError() ? node::kFailCode : node::kOk;  // list left as it is
    auto readOne = [&]() {
        SingleNode* node = nullptr;
        if (DecodeSFNode(stream, ndt, tree, nullptr, &list, &node) != node::kOk) return false;
        list.AddNode(node);
        node->Release();  // the list holds its own reference
        return true;
    };
    if (stream.ReadBits(1) == 0) {
        // Vector form: a 5-bit width, a count of that many bits, the nodes.
        auto width = static_cast<std::uint8_t>(stream.ReadBits(5));
        std::uint64_t count = stream.ReadBits(width);
        if (stream.HasError()) return node::kFailCode;
        if (count > stream.BitsLeft()) {
            stream.Fail(at, bifs_error::CountPastEnd(count));
            return node::kFailCode;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            if (!readOne()) return node::kFailCode;
        }
        return node::kOk;
    }
    // List form: a 0 bit before each node, a 1 bit at the end.
    while (stream.ReadBits(1) == 0) {
        if (stream.HasError() || !readOne()) return node::kFailCode;
    }
    return stream.HasError() ? node::kFailCode : node::kOk;
}
