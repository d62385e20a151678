// CTreeTraverser: walks a scene graph and calls, through the dealer's handler
// table, the Enter_/Exit_ pair of each node's type.
#pragma once

#include "rendermodule/node_dealer.h"

class Field;

class CTreeTraverser {
  public:
    virtual ~CTreeTraverser() = default;

    // Resets the dealer on `display` and visits the root (which may be null).
    void TraverseScene(CD3DObj* display, Field* root);
    // Visits one field value: a node (enter, its DEF fields unless the enter
    // handler said Visit::SkipChildren, exit), a node list (each element with
    // the list's parent), or anything else (ignored). At most 255 fields or
    // elements.
    void TraverseNode(SingleNode* parent, Field* field);

    CNodeDealer& GetDealer() { return m_dealer; }
    const CNodeDealer& GetDealer() const { return m_dealer; }

  private:
    CNodeDealer m_dealer;
};
