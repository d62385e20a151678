#include <array>
#include <string_view>

#include "node/declared_node.h"
#include "node/node_typedef.h"
#include "script/script_host.h"

namespace script {

namespace {
// The fields every Script has; they are the node's, not the program's variables.
constexpr std::array<std::string_view, 3> kScriptFields = {"url", "directOutput", "mustEvaluate"};
}  // namespace

bool DescribeScript(SingleNode* node, const std::string& name, const std::string& baseDir,
                    ScriptSpec& spec) {
    DeclaredNode* script = DeclaredNode::Of(node);
    if (script == nullptr || script->NodeTypeId() != DeclaredNode::kScript) return false;
    spec = ScriptSpec{};
    spec.node = node;
    if (!name.empty()) spec.name = name;
    spec.baseDir = baseDir;
    const NodeDesc& desc = script->Desc();
    for (int i = 0; i < script->FieldCount() && i < desc.fieldCount; ++i) {
        const FieldDesc& field = desc.fields[i];
        const std::string_view fieldName = field.name;
        if (fieldName == "url") {
            if (auto* urls = dynamic_cast<const MultiField*>(script->GetField(i))) {
                for (int u = 0; u < urls->GetCount(); ++u) {
                    std::string text;
                    urls->GetElement(u)->ToString(text);
                    spec.url.push_back(std::move(text));
                }
            }
            continue;
        }
        bool common = false;
        for (std::string_view skip : kScriptFields) common = common || skip == fieldName;
        if (common) continue;
        spec.declarations.push_back(
            {std::string(fieldName), field.kind, script->TypeName(i), i, script->GetField(i)});
    }
    return true;
}

bool ScriptHost::AddNode(SingleNode* node, const std::string& name, const std::string& baseDir) {
    ScriptSpec spec;
    return DescribeScript(node, name, baseDir, spec) && Add(spec);
}

}  // namespace script
