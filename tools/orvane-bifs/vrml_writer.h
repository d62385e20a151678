// VrmlWriter: writes a node tree as VRML97 text that the loader reads back to
// the same tree: nodes with an ID get DEF N<id> at their first place and USE
// at the others, only DEF fields that differ from their defaults are written,
// and numbers take the shortest text that reads back to the same bits.
#pragma once

#include <ostream>
#include <set>

class SingleNode;
class Field;

class VrmlWriter {
  public:
    explicit VrmlWriter(std::ostream& out) : m_out(out) {}
    // The header line, then the root: a Group root's children stand at the top
    // (the loader wraps a file's top-level nodes in a Group of its own).
    void WriteScene(SingleNode* root);

  private:
    void WriteNode(SingleNode* node, int indent);
    void WriteValue(Field* field, const Field* defaultValue, int indent);
    void Indent(int indent);

    std::ostream& m_out;
    std::set<const SingleNode*> m_written;
};

// The node type id's name as the loader knows it ("" for ids without a name).
const char* VrmlNodeName(int nodeType);
