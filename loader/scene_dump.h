// A readable text form of a node tree: one line per node and per field that
// differs from the node type's default, indented by depth. Used by the tests
// and the tools to look at what the loader built.
#pragma once

#include <string>

class SingleNode;

// Shared nodes are written in full at each place they stand.
std::string DumpScene(SingleNode* root);
