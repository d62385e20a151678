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
                    ScriptDescription& described) {
    DeclaredNode* script = DeclaredNode::Of(node);
    if (script == nullptr || script->NodeTypeId() != DeclaredNode::kScript) return false;
    described = ScriptDescription{};
    described.node = node;
    if (!name.empty()) described.name = name;
    described.baseDir = baseDir;
    const NodeDesc& desc = script->Desc();
    for (int i = 0; i < script->FieldCount() && i < desc.fieldCount; ++i) {
        const FieldDesc& field = desc.fields[i];
        const std::string_view fieldName = field.name;
        if (fieldName == "url") {
            if (auto* urls = dynamic_cast<const MultiField*>(script->GetField(i))) {
                for (int u = 0; u < urls->GetCount(); ++u) {
                    std::string text;
                    urls->GetElement(u)->ToString(text);
                    described.url.push_back(std::move(text));
                }
            }
            continue;
        }
        bool common = false;
        for (std::string_view skip : kScriptFields) common = common || skip == fieldName;
        if (common) continue;
        described.declarations.push_back(
            {std::string(fieldName), field.kind, script->TypeName(i), i, script->GetField(i)});
    }
    return true;
}

bool ScriptHost::AddNode(SingleNode* node, const std::string& name, const std::string& baseDir) {
    ScriptDescription described;
    return DescribeScript(node, name, baseDir, described) && Add(described);
}

}  // namespace script
