#include "tools/orvane-bifs/vrml_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <string>
#include <type_traits>
#include <vector>

#include "node/node_basenodedef.h"
#include "node/node_ptr.h"

namespace {

// Numbers: the shortest text that reads back to the same value; to_chars
// writes the values that are not finite as inf, -inf, nan and -nan.
template <class T>
void AppendNumber(std::string& out, T value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

template <std::size_t N>
void AppendFloats(std::string& out, const std::array<float, N>& values) {
    for (std::size_t i = 0; i < N; ++i) {
        if (i != 0) out += ' ';
        AppendNumber(out, values[i]);
    }
}

// The text of one single value.
void AppendValue(std::string& out, const SFBool& v) {
    out += v.Get() ? "TRUE" : "FALSE";
}
void AppendValue(std::string& out, const SFInt32& v) {
    AppendNumber(out, v.Get());
}
void AppendValue(std::string& out, const SFFloat& v) {
    AppendNumber(out, v.Get());
}
void AppendValue(std::string& out, const SFTime& v) {
    AppendNumber(out, v.Get());
}
template <class D, std::uint8_t C>
void AppendValue(std::string& out, const field_detail::SFText<D, C>& v) {
    AppendQuoted(out, v.Get());
}
template <class D, std::uint8_t C, int N>
void AppendValue(std::string& out, const field_detail::SFFloats<D, C, N>& v) {
    AppendFloats(out, v.Values());
}

void AppendSingle(std::string& out, const SFField& value) {
    switch (value.GetFieldType()) {
        case kFieldSFBool:
            return AppendValue(out, static_cast<const SFBool&>(value));
        case kFieldSFInt32:
            return AppendValue(out, static_cast<const SFInt32&>(value));
        case kFieldSFFloat:
            return AppendValue(out, static_cast<const SFFloat&>(value));
        case kFieldSFTime:
            return AppendValue(out, static_cast<const SFTime&>(value));
        case kFieldSFString:
            return AppendValue(out, static_cast<const SFString&>(value));
        case kFieldSFURL:
            return AppendValue(out, static_cast<const SFURL&>(value));
        case kFieldSFVec2f:
            return AppendValue(out, static_cast<const SFVec2f&>(value));
        case kFieldSFVec3f:
            return AppendValue(out, static_cast<const SFVec3f&>(value));
        case kFieldSFColor:
            return AppendValue(out, static_cast<const SFColor&>(value));
        case kFieldSFRotation:
            return AppendValue(out, static_cast<const SFRotation&>(value));
        default:
            break;
    }
}

// Equal values have equal bits: -0 differs from 0, a NaN equals the same NaN.
template <std::size_t N>
bool SameFloats(const std::array<float, N>& a, const std::array<float, N>& b) {
    for (std::size_t i = 0; i < N; ++i)
        if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) return false;
    return true;
}

bool SameSingle(const SFField& a, const SFField& b) {
    switch (a.GetFieldType()) {
        case kFieldSFBool:
            return static_cast<const SFBool&>(a) == static_cast<const SFBool&>(b);
        case kFieldSFInt32:
            return static_cast<const SFInt32&>(a) == static_cast<const SFInt32&>(b);
        case kFieldSFFloat:
            return std::bit_cast<std::uint32_t>(static_cast<const SFFloat&>(a).Get()) ==
                   std::bit_cast<std::uint32_t>(static_cast<const SFFloat&>(b).Get());
        case kFieldSFTime:
            return std::bit_cast<std::uint64_t>(static_cast<const SFTime&>(a).Get()) ==
                   std::bit_cast<std::uint64_t>(static_cast<const SFTime&>(b).Get());
        case kFieldSFString:
            return static_cast<const SFString&>(a) == static_cast<const SFString&>(b);
        case kFieldSFURL:
            return static_cast<const SFURL&>(a) == static_cast<const SFURL&>(b);
        case kFieldSFVec2f:
            return SameFloats(static_cast<const SFVec2f&>(a).Values(),
                              static_cast<const SFVec2f&>(b).Values());
        case kFieldSFVec3f:
            return SameFloats(static_cast<const SFVec3f&>(a).Values(),
                              static_cast<const SFVec3f&>(b).Values());
        case kFieldSFColor:
            return SameFloats(static_cast<const SFColor&>(a).Values(),
                              static_cast<const SFColor&>(b).Values());
        case kFieldSFRotation:
            return SameFloats(static_cast<const SFRotation&>(a).Values(),
                              static_cast<const SFRotation&>(b).Values());
        default:
            return false;
    }
}

bool SameValue(const Field& a, const Field& b) {
    if (a.IsSingle())
        return SameSingle(static_cast<const SFField&>(a), static_cast<const SFField&>(b));
    const auto& la = static_cast<const MultiField&>(a);
    const auto& lb = static_cast<const MultiField&>(b);
    if (la.GetCount() != lb.GetCount()) return false;
    for (int i = 0, n = la.GetCount(); i < n; ++i)
        if (!SameSingle(*la.GetElement(i), *lb.GetElement(i))) return false;
    return true;
}

// One number element formatted at `p` (room for 80 characters); returns its end.
char* Format(char* p, const SFInt32& v) {
    return std::to_chars(p, p + 16, v.Get()).ptr;
}
char* Format(char* p, const SFFloat& v) {
    return std::to_chars(p, p + 32, v.Get()).ptr;
}
template <class D, std::uint8_t C, int N>
char* Format(char* p, const field_detail::SFFloats<D, C, N>& v) {
    for (int i = 0; i < N; ++i) {
        if (i != 0) *p++ = ' ';
        p = std::to_chars(p, p + 32, v[i]).ptr;
    }
    return p;
}

constexpr std::size_t kPerLine = 8;

// The elements of a value list of `T`: "[ a, b ]", or eight to a line when
// there are more. Numbers are formatted a line at a time in a buffer of
// their own: appending each piece to the text cost more than the formatting.
template <class T, class Spill>
void AppendList(std::string& out, const MultiField& field, int indent, Spill spill) {
    const auto& values = static_cast<const MFField<T>&>(field).Values();
    constexpr bool kNumbers = !std::is_same_v<T, SFString> && !std::is_same_v<T, SFURL>;
    auto appendLine = [&](std::size_t first, std::size_t last) {
        if constexpr (kNumbers) {
            char line[kPerLine * 96];
            char* p = line;
            for (std::size_t i = first; i < last; ++i) {
                if (i != first) {
                    *p++ = ',';
                    *p++ = ' ';
                }
                p = Format(p, values[i]);
            }
            out.append(line, p);
        } else {
            for (std::size_t i = first; i < last; ++i) {
                if (i != first) out += ", ";
                AppendValue(out, values[i]);
            }
        }
    };
    if (values.size() <= kPerLine) {
        out += values.empty() ? "[" : "[ ";
        appendLine(0, values.size());
        out += " ]";
        return;
    }
    out += "[\n";
    for (std::size_t first = 0; first < values.size(); first += kPerLine) {
        if (first != 0) out += ",\n";
        out.append(static_cast<std::size_t>(indent + 1) * 2, ' ');
        appendLine(first, std::min(values.size(), first + kPerLine));
        spill();
    }
    out += '\n';
    out.append(static_cast<std::size_t>(indent) * 2, ' ');
    out += ']';
}

template <class Spill>
void AppendValueList(std::string& out, const MultiField& list, int indent, Spill spill) {
    switch (list.GetFieldType()) {
        case kFieldSFInt32:
            return AppendList<SFInt32>(out, list, indent, spill);
        case kFieldSFFloat:
            return AppendList<SFFloat>(out, list, indent, spill);
        case kFieldSFString:
            return AppendList<SFString>(out, list, indent, spill);
        case kFieldSFURL:
            return AppendList<SFURL>(out, list, indent, spill);
        case kFieldSFVec2f:
            return AppendList<SFVec2f>(out, list, indent, spill);
        case kFieldSFVec3f:
            return AppendList<SFVec3f>(out, list, indent, spill);
        case kFieldSFColor:
            return AppendList<SFColor>(out, list, indent, spill);
        case kFieldSFRotation:
            return AppendList<SFRotation>(out, list, indent, spill);
        default:
            out += "[ ]";
            break;
    }
}

// A node of each type with its defaults, made at its first use.
SingleNode* Defaults(int type) {
    static thread_local std::vector<node::Ptr<SingleNode>> defaults(101);
    if (type < 1 || type > 100) return nullptr;
    if (!defaults[type]) defaults[type] = node::Ptr<SingleNode>::Adopt(CreateNode(type));
    return defaults[type].Get();
}

std::string FieldText(SingleNode& node, int index, bool out) {
    std::string name;
    if (out)
        node.GetOUTFieldName(index, name);
    else
        node.GetINFieldName(index, name);
    return VrmlFieldName(GetNodeType(node), name.c_str());
}

}  // namespace

const char* VrmlNodeName(int nodeType) {
    return VrmlNodeTypeName(nodeType);
}

void VrmlWriter::Indent(int indent) {
    m_out.append(static_cast<std::size_t>(indent) * 2, ' ');
}

void VrmlWriter::Spill() {
    if (m_file == nullptr || m_out.size() < (std::size_t{1} << 20)) return;
    m_failed = std::fwrite(m_out.data(), 1, m_out.size(), m_file) != m_out.size() || m_failed;
    m_out.clear();
}

bool VrmlWriter::Finish() {
    if (m_file != nullptr && !m_out.empty()) {
        m_failed = std::fwrite(m_out.data(), 1, m_out.size(), m_file) != m_out.size() || m_failed;
        m_out.clear();
    }
    return !m_failed;
}

void VrmlWriter::WriteScene(const SceneTree& tree) {
    SingleNode* root = nullptr;
    tree.GetRoot(&root);
    Write(root, &tree);
}

void VrmlWriter::WriteScene(SingleNode* root) {
    Write(root, nullptr);
}

// Counts the places of every node in the order the encoder writes them
// (fields in DEF order, list elements in order, each subtree before the
// next sibling) and numbers the nodes that stand in several places or that
// a ROUTE names.
void VrmlWriter::NameNodes(SingleNode* root, const SceneTree* tree) {
    m_names.clear();
    std::unordered_map<const SingleNode*, int> places;
    std::vector<SingleNode*> order;
    auto visit = [&](auto& self, SingleNode* node) -> void {
        if (places[node]++ != 0) return;
        order.push_back(node);
        for (std::uint8_t i : node->GetDEFNodeFields()) {
            Field* field = node->GetDEFField(i);
            if (SingleNode* child = AsNode(field)) {
                self(self, child);
            } else if (MultiNode* list = AsNodeList(field)) {
                for (SingleNode* element : list->Nodes()) self(self, element);
            }
        }
    };
    visit(visit, root);
    if (tree != nullptr) {
        for (const SceneTree::Route& route : tree->Routes()) {
            for (std::uint32_t id : {route.fromId, route.toId}) {
                SingleNode* node = tree->Lookup(id);
                if (node != nullptr && places.count(node) != 0 && places[node] < 2)
                    places[node] = 2;  // named, as if shared
            }
        }
    }
    std::uint32_t next = 0;
    for (SingleNode* node : order)
        if (places[node] > 1) m_names[node] = Name{++next, false};
}

void VrmlWriter::Write(SingleNode* root, const SceneTree* tree) {
    m_out += "#VRML V2.0 utf8\n";
    if (root == nullptr) return;
    NameNodes(root, tree);
    if (GetNodeType(*root) == 46 && m_names.count(root) == 0) {  // a Group root without a name
        for (std::uint8_t i : root->GetDEFNodeFields()) {
            if (MultiNode* children = AsNodeList(root->GetDEFField(i))) {
                for (SingleNode* child : children->Nodes()) {
                    WriteNode(child, 0);
                    m_out += '\n';
                }
            }
        }
    } else {
        WriteNode(root, 0);
        m_out += '\n';
    }
    if (tree == nullptr) return;
    for (const SceneTree::Route& route : tree->Routes()) {
        SingleNode* from = tree->Lookup(route.fromId);
        SingleNode* to = tree->Lookup(route.toId);
        if (from == nullptr || to == nullptr || !m_names.count(from) || !m_names.count(to))
            continue;
        m_out += "ROUTE N";
        AppendNumber(m_out, m_names[from].number);
        m_out += '.';
        m_out += FieldText(*from, route.outField, true);
        m_out += " TO N";
        AppendNumber(m_out, m_names[to].number);
        m_out += '.';
        m_out += FieldText(*to, route.inField, false);
        m_out += '\n';
    }
}

void VrmlWriter::WriteNode(SingleNode* node, int indent) {
    if (node == nullptr) {
        m_out += "NULL";
        return;
    }
    auto named = m_names.find(node);
    if (named != m_names.end()) {
        m_out += named->second.written ? "USE N" : "DEF N";
        AppendNumber(m_out, named->second.number);
        if (named->second.written) return;
        named->second.written = true;
        m_out += ' ';
    }
    const int type = GetNodeType(*node);
    m_out += VrmlNodeTypeName(type);
    m_out += " {";
    SingleNode* defaults = Defaults(type);
    bool any = false;
    std::string name;
    for (int i = 0, n = node->GetDEFCount(); i < n; ++i) {
        Field* field = node->GetDEFField(i);
        if (field == nullptr) continue;
        const std::uint8_t code = field->GetFieldType();
        if (code == kFieldMFNode) {
            if (static_cast<MultiNode*>(field)->GetCount() == 0) continue;
        } else if (code != kFieldSFNode) {
            const Field* def = defaults != nullptr ? defaults->GetDEFField(i) : nullptr;
            if (def != nullptr && SameValue(*field, *def)) continue;
        }
        node->GetDEFFieldName(i, name);
        m_out += '\n';
        Indent(indent + 1);
        m_out += VrmlFieldName(type, name.c_str());
        m_out += ' ';
        WriteValue(*field, indent + 1);
        Spill();
        any = true;
    }
    if (any) {
        m_out += '\n';
        Indent(indent);
    } else {
        m_out += ' ';
    }
    m_out += '}';
}

void VrmlWriter::WriteValue(const Field& field, int indent) {
    const std::uint8_t code = field.GetFieldType();
    if (code == kFieldSFNode) {
        WriteNode(const_cast<SingleNode*>(static_cast<const SingleNode*>(&field)), indent);
    } else if (code == kFieldMFNode) {
        m_out += "[\n";
        for (SingleNode* n : static_cast<const MultiNode&>(field).Nodes()) {
            Indent(indent + 1);
            WriteNode(n, indent + 1);
            m_out += '\n';
        }
        Indent(indent);
        m_out += ']';
    } else if (field.IsSingle()) {
        AppendSingle(m_out, static_cast<const SFField&>(field));
    } else {
        AppendValueList(m_out, static_cast<const MultiField&>(field), indent, [this] { Spill(); });
    }
}
