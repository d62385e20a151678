#include "tools/orvane-bifs/bifs_convert.h"

#include <map>
#include <set>
#include <sstream>

#include "loader/vrml_loader.h"
#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/vrml_writer.h"

namespace {

// Counts the places of every node and notes the order in which the encoder
// first meets each: fields in DEF order, list elements in list order, each
// subtree before the next sibling. (Depth is bounded by what the loader
// accepts, so plain recursion serves.)
void CountPlaces(SingleNode* node, std::map<SingleNode*, int>& places,
                 std::vector<SingleNode*>& order) {
    if (places[node]++ != 0) return;
    order.push_back(node);
    for (int i = 0, n = node->GetDEFCount(); i < n; ++i) {
        Field* field = node->GetDEFField(i);
        if (auto* child = dynamic_cast<SingleNode*>(field)) {
            CountPlaces(child, places, order);
        } else if (auto* list = dynamic_cast<MultiNode*>(field)) {
            for (SingleNode* element : list->Nodes()) CountPlaces(element, places, order);
        }
    }
}

bool Allowed(const NDTTable* table, SingleNode* node) {
    return table->count(GetNodeType(*node)) != 0;
}

void Prune(SingleNode* node, std::set<SingleNode*>& seen, std::vector<std::string>& out) {
    if (!seen.insert(node).second) return;
    for (int i = 0, n = node->GetDEFCount(); i < n; ++i) {
        const NDTTable* table = node->GetDEFFieldNDT(i);
        Field* field = node->GetDEFField(i);
        if (table == nullptr || field == nullptr) continue;
        std::string fieldName;
        node->GetDEFFieldName(i, fieldName);
        auto report = [&](SingleNode* child) {
            out.push_back(std::string(VrmlNodeName(GetNodeType(*child))) + " left out: the " +
                          fieldName + " of a " + VrmlNodeName(GetNodeType(*node)) + " take only " +
                          GetNDTName(GetNDTOfTable(table)) + " nodes");
        };
        if (auto* list = dynamic_cast<MultiNode*>(field)) {
            for (int k = list->GetCount() - 1; k >= 0; --k) {
                SingleNode* child = list->GetNodeAt(k);
                if (!Allowed(table, child)) {
                    report(child);
                    list->RemoveNodeAt(k);
                }
            }
            for (SingleNode* child : list->Nodes()) Prune(child, seen, out);
        } else if (auto* child = dynamic_cast<SingleNode*>(field)) {
            if (!Allowed(table, child)) {
                report(child);
                node->SetDEFField(i, nullptr);
            } else {
                Prune(child, seen, out);
            }
        }
    }
}

}  // namespace

std::vector<std::string> PruneNodesOutsideTheirContext(SingleNode* root) {
    std::vector<std::string> out;
    std::set<SingleNode*> seen;
    if (root != nullptr) Prune(root, seen, out);
    return out;
}

int AssignSharedNodeIds(SingleNode* root) {
    if (root == nullptr) return 0;
    std::map<SingleNode*, int> places;
    std::vector<SingleNode*> order;
    CountPlaces(root, places, order);
    int next = 0;
    for (SingleNode* n : order)
        if (places[n] > 1) n->SetNodeID(static_cast<std::uint32_t>(++next));
    return next;
}

bool EncodeWrlFile(const std::string& wrl, const std::string& standardNodes,
                   std::vector<std::uint8_t>& bifs, std::string* error,
                   std::vector<std::string>* warnings) {
    VrmlLoader loader;
    std::ostringstream errors;
    loader.SetErrorStream(&errors);
    loader.SetTraceStream(nullptr);
    loader.SetStandardNodesPath(standardNodes);
    loader.ResetParser();
    switch (loader.ParseVrmlFile(wrl.c_str())) {
        case VrmlLoader::kNoStandardNodes:
            *error = "cannot read the declarations file " + standardNodes;
            return false;
        case VrmlLoader::kNoSceneFile:
            *error = "cannot read " + wrl;
            return false;
        default:
            break;
    }
    if (loader.GetErrorCount() > 0) {
        std::string first = errors.str();
        first = first.substr(0, first.find('\n'));
        *error = wrl + ": " + std::to_string(loader.GetErrorCount()) +
                 " error(s) in the scene; first: " + first;
        return false;
    }
    SingleNode* root = loader.GetSceneRoot();
    std::vector<std::string> pruned = PruneNodesOutsideTheirContext(root);
    if (warnings) *warnings = std::move(pruned);
    AssignSharedNodeIds(root);
    SceneTree tree;
    tree.SetRoot(root);
    CCommadEncoder encoder;
    if (encoder.EncodeToMemory(&tree, bifs) != node::kOk) {
        *error = "the scene is empty";
        return false;
    }
    return true;
}

bool DecodeToWrl(const std::vector<std::uint8_t>& bifs, std::string& wrl, std::string* error) {
    if (bifs.empty()) {
        *error = "the file is empty";
        return false;
    }
    CBIFS_InStream in(bifs.data(), static_cast<std::uint32_t>(bifs.size()));
    SceneTree tree;
    CCommandDecoder decoder;
    if (decoder.DecodeStream(&in, &tree) != node::kOk) {
        *error = decoder.GetError();
        return false;
    }
    SingleNode* root = nullptr;
    tree.GetRoot(&root);
    std::ostringstream text;
    VrmlWriter(text).WriteScene(root);
    wrl = text.str();
    return true;
}
