// A ROUTE of the scene as the loader records it: the two nodes and the ALL
// field indices (the indices GetFieldName reports the names at).
#pragma once

#include <vector>

class SingleNode;

struct Route {
    SingleNode* fromNode = nullptr;
    int fromField = -1;
    SingleNode* toNode = nullptr;
    int toField = -1;
};

// Routes in source order. The loader that built the list holds a reference on
// every node in it until its next ResetParser.
using RouteList = std::vector<Route>;
