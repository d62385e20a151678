// CTreeTraverser: walks a scene graph and calls the dealer's handler pair of
// each node type (tables of 256 entries by node type id).
#pragma once

#include "rendermodule/node_dealer.h"

class Field;

class CTreeTraverser {
  public:
    using EnterHandler = int (CNodeDealer::*)(SingleNode*, SFWorldNode*);
    using ExitHandler = void (CNodeDealer::*)(SingleNode*, SFWorldNode*);

    CTreeTraverser();
    virtual ~CTreeTraverser() = default;

    // Resets the dealer on `display` and visits the root (which may be null).
    void TraverseScene(CD3DObj* display, Field* root);
    // Visits one field value: a node (enter, its DEF fields unless the enter
    // handler returned 1, exit), a node list (each element with the list's
    // parent), or anything else (ignored). At most 255 fields or elements.
    void TraverseNode(SingleNode* parent, Field* field);

    CNodeDealer& GetDealer() { return m_dealer; }
    const CNodeDealer& GetDealer() const { return m_dealer; }

  private:
    CNodeDealer m_dealer;
    EnterHandler m_enter[256] = {};
    ExitHandler m_exit[256] = {};
};
