// CTreeTraverser: walks a scene graph and calls, through the dealer's handler
// table, the Enter_/Exit_ pair of each node's type.
#pragma once

#include "rendermodule/node_dealer.h"

class Field;

class CTreeTraverser {
  public:
    CTreeTraverser();
    CTreeTraverser(const CTreeTraverser&) = delete;
    CTreeTraverser& operator=(const CTreeTraverser&) = delete;
    virtual ~CTreeTraverser() = default;

    // Resets the dealer on `display` and visits the root (which may be null);
    // relative URLs are looked up beside `sceneFile`.
    void TraverseScene(CD3DObj* display, Field* root, const std::string& sceneFile = {});
    // Visits one field value: a node (enter, all its DEF fields unless the
    // enter handler said Visit::SkipChildren, exit), a node list (every
    // element, with the list's parent), or anything else (ignored).
    void TraverseNode(SingleNode* parent, Field* field);

    CNodeDealer& GetDealer() { return m_dealer; }
    const CNodeDealer& GetDealer() const { return m_dealer; }

  private:
    CNodeDealer m_dealer;
};
