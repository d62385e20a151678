#include "loader/scene_dump.h"

#include "node/node_basenodedef.h"
#include "node/node_ptr.h"

namespace {

std::string TypeName(const SingleNode& node) {
    std::string name;
    GetNodeTypeName(GetNodeType(node), name);
    return name;
}

// Text of a value field; false for node-valued fields and missing values.
bool ValueText(Field* field, std::string& text) {
    if (auto* single = dynamic_cast<SFField*>(field)) return single->ToString(text) == 0;
    if (auto* list = dynamic_cast<MultiField*>(field)) {
        list->ToString(text);
        text = "[" + text + "]";
        return true;
    }
    return false;
}

void Dump(SingleNode* node, int depth, std::string& out) {
    const std::string indent(depth * 2, ' ');
    out += indent + TypeName(*node) + "\n";
    auto fresh = node::Ptr<SingleNode>::Adopt(CreateNode(GetNodeType(*node)));
    std::string name;
    for (int i = 0; node->GetFieldName(i, name) == 0; ++i) {
        Field* field = node->GetField(i);
        if (field == nullptr) continue;
        if (auto* child = AsNode(field)) {
            out += indent + "  " + name + ":\n";
            Dump(child, depth + 2, out);
        } else if (auto* list = dynamic_cast<MultiNode*>(field)) {
            if (list->GetCount() == 0) continue;
            out += indent + "  " + name + ":\n";
            for (SingleNode* entry : list->Nodes()) Dump(entry, depth + 2, out);
        } else {
            std::string text, initial;
            if (!ValueText(field, text)) continue;
            Field* original = fresh ? fresh->GetField(i) : nullptr;
            if (original && ValueText(original, initial) && initial == text) continue;
            out += indent + "  " + name + " " + text + "\n";
        }
    }
}

}  // namespace

std::string DumpScene(SingleNode* root) {
    std::string out;
    if (root) Dump(root, 0, out);
    return out;
}
