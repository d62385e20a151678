#include "rendermodule/tree_traverser.h"

#include <functional>

#include "node/node_basenodedef.h"
#include "trace/debug_trace.h"

CTreeTraverser::CTreeTraverser() {
    m_dealer.SetChildVisitor(
        [this](SingleNode* parent, Field* field) { TraverseNode(parent, field); });
}

void CTreeTraverser::TraverseScene(CD3DObj* display, Field* root, const std::string& sceneFile) {
    m_dealer.Reset(display, sceneFile);
    if (root != nullptr) TraverseNode(nullptr, root);
}

void CTreeTraverser::TraverseNode(SingleNode* parent, Field* field) {
    if (auto* node = dynamic_cast<SFWorldNode*>(field)) {
        SingleNode* single = node;
        const int type = GetNodeType(*single);
        const NodeHandler* handler = CNodeDealer::FindHandler(type);
        Visit visit = Visit::Children;
        if (handler == nullptr || handler->enter == nullptr) {
            DebugPrintf("Node %u is not implemented,yet\n", static_cast<unsigned>(type));
        } else {
            visit = std::invoke(handler->enter, m_dealer, parent, node);
        }
        if (visit == Visit::Children) {
            const int count = single->GetDEFCount();
            for (int i = 0; i < count; ++i) TraverseNode(single, single->GetDEFField(i));
        }
        if (handler != nullptr && handler->exit != nullptr)
            std::invoke(handler->exit, m_dealer, parent, node);
    } else if (auto* list = dynamic_cast<MultiNode*>(field)) {
        for (SingleNode* element : list->Nodes()) TraverseNode(parent, element);
    }
}
