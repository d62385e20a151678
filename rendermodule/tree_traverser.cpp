#include "rendermodule/tree_traverser.h"

#include <functional>

#include "node/node_basenodedef.h"
#include "trace/debug_trace.h"

void CTreeTraverser::TraverseScene(CD3DObj* display, Field* root) {
    m_dealer.Reset(display);
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
            // One-byte count and counter: at most 255 fields are visited.
            auto count = static_cast<std::uint8_t>(single->GetDEFCount());
            for (std::uint8_t i = 0; i < count; ++i) TraverseNode(single, single->GetDEFField(i));
        }
        if (handler != nullptr && handler->exit != nullptr)
            std::invoke(handler->exit, m_dealer, parent, node);
    } else if (auto* list = dynamic_cast<MultiNode*>(field)) {
        // One-byte length and counter: a longer list is taken modulo 256.
        auto count = static_cast<std::uint8_t>(list->GetCount());
        for (std::uint8_t i = 0; i < count; ++i) TraverseNode(parent, list->GetNodeAt(i));
    }
}
