#include "tools/orvane-bifs/vrml_writer.h"

#include <charconv>
#include <string>
#include <vector>

#include "node/node_basenodedef.h"
#include "node/node_ptr.h"
#include "node/outstream.h"

namespace {

// Shortest text that reads back to the same float / double.
std::string Shortest(float v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}
std::string Shortest(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string Quoted(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

// The text of one single value in VRML syntax.
std::string ValueText(const SFField& f) {
    if (auto* b = dynamic_cast<const SFBool*>(&f)) return b->Get() ? "TRUE" : "FALSE";
    if (auto* i = dynamic_cast<const SFInt32*>(&f)) return std::to_string(i->Get());
    if (auto* x = dynamic_cast<const SFFloat*>(&f)) return Shortest(x->Get());
    if (auto* t = dynamic_cast<const SFTime*>(&f)) return Shortest(t->Get());
    if (auto* s = dynamic_cast<const SFString*>(&f)) return Quoted(s->Get());
    if (auto* u = dynamic_cast<const SFURL*>(&f)) return Quoted(u->Get());
    auto join = [](const auto& values) {
        std::string out;
        for (float v : values) {
            if (!out.empty()) out += ' ';
            out += Shortest(v);
        }
        return out;
    };
    if (auto* v = dynamic_cast<const SFVec2f*>(&f)) return join(v->Values());
    if (auto* v = dynamic_cast<const SFVec3f*>(&f)) return join(v->Values());
    if (auto* v = dynamic_cast<const SFColor*>(&f)) return join(v->Values());
    if (auto* v = dynamic_cast<const SFRotation*>(&f)) return join(v->Values());
    return "";
}

// Two value fields are equal when their raw codings are.
bool SameBits(const Field& a, const Field& b) {
    OutToMemory ma, mb;
    a.Encode(ma);
    b.Encode(mb);
    return ma.Finish() == mb.Finish();
}

}  // namespace

const char* VrmlNodeName(int nodeType) {
    static std::vector<std::string> names = [] {
        std::vector<std::string> n(101);
        for (int i = 0; i <= 100; ++i) GetNodeTypeName(i, n[i]);
        return n;
    }();
    return nodeType >= 1 && nodeType <= 100 ? names[nodeType].c_str() : "";
}

void VrmlWriter::Indent(int indent) {
    m_out << std::string(static_cast<std::size_t>(indent) * 2, ' ');
}

void VrmlWriter::WriteScene(SingleNode* root) {
    m_out << "#VRML V2.0 utf8\n";
    if (root == nullptr) return;
    if (GetNodeType(*root) == 46 && root->GetNodeID() == 0) {  // a plain Group root
        if (auto* children = dynamic_cast<MultiNode*>(root->GetField(2))) {
            for (SingleNode* child : children->Nodes()) {
                WriteNode(child, 0);
                m_out << "\n";
            }
            return;
        }
    }
    WriteNode(root, 0);
    m_out << "\n";
}

void VrmlWriter::WriteNode(SingleNode* node, int indent) {
    if (node == nullptr) {
        m_out << "NULL";
        return;
    }
    std::uint32_t id = node->GetNodeID();
    if (id != 0 && m_written.count(node)) {
        m_out << "USE N" << id;
        return;
    }
    if (id != 0) {
        m_written.insert(node);
        m_out << "DEF N" << id << " ";
    }
    int type = GetNodeType(*node);
    m_out << VrmlNodeName(type) << " {";
    // A node of the same type with its defaults, to leave out unchanged fields.
    auto defaults = node::Ptr<SingleNode>::Adopt(CreateNode(type));
    bool any = false;
    for (int i = 0, n = node->GetDEFCount(); i < n; ++i) {
        Field* field = node->GetDEFField(i);
        if (field == nullptr) continue;
        const Field* def = defaults ? defaults->GetDEFField(i) : nullptr;
        if (auto* list = dynamic_cast<MultiNode*>(field)) {
            if (list->GetCount() == 0) continue;
        } else if (dynamic_cast<SingleNode*>(field) == nullptr && def != nullptr &&
                   SameBits(*field, *def)) {
            continue;
        }
        std::string name;
        node->GetDEFFieldName(i, name);
        m_out << "\n";
        Indent(indent + 1);
        m_out << name << " ";
        WriteValue(field, def, indent + 1);
        any = true;
    }
    if (any) {
        m_out << "\n";
        Indent(indent);
    } else {
        m_out << " ";
    }
    m_out << "}";
}

void VrmlWriter::WriteValue(Field* field, const Field*, int indent) {
    if (auto* node = dynamic_cast<SingleNode*>(field)) {
        WriteNode(node, indent);
    } else if (auto* list = dynamic_cast<MultiNode*>(field)) {
        m_out << "[\n";
        for (SingleNode* n : list->Nodes()) {
            Indent(indent + 1);
            WriteNode(n, indent + 1);
            m_out << "\n";
        }
        Indent(indent);
        m_out << "]";
    } else if (auto* values = dynamic_cast<MultiField*>(field)) {
        m_out << "[";
        for (int i = 0, n = values->GetCount(); i < n; ++i)
            m_out << (i ? ", " : " ") << ValueText(*values->GetElement(i));
        m_out << " ]";
    } else if (auto* value = dynamic_cast<SFField*>(field)) {
        m_out << ValueText(*value);
    }
}
