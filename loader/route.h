// A ROUTE of the scene as the loader records it: the two nodes and the ALL
// field indices (the indices GetFieldName reports the names at).
#pragma once

#include <vector>

#include "node/node_basenodedef.h"
#include "node/node_ptr.h"

struct Route {
    node::Ptr<SingleNode> fromNode;
    int fromField = -1;
    node::Ptr<SingleNode> toNode;
    int toField = -1;
};

// Routes in source order; each holds a reference on both its nodes.
using RouteList = std::vector<Route>;
