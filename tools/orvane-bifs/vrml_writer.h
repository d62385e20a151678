// VrmlWriter: writes a decoded scene as VRML97 text that the loader reads
// back to the same scene, in the spellings VRML97 gives node types and
// fields. Only DEF fields that differ from their defaults are written;
// numbers take the shortest text that reads back to the same bits, and the
// numbers that are not finite are written inf, -inf, nan and -nan.
//
// Nodes that stand in several places or that a ROUTE names are DEFined as
// N1, N2, ... in the order the encoder meets them (the order in which it
// gives node IDs), whatever IDs the stream gave them: the text of a scene
// is the same however its stream numbered its nodes, and encoding that text
// gives the nodes those numbers as IDs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "node/scenetree.h"

class SingleNode;
class Field;

class VrmlWriter {
  public:
    // Appends to `out`.
    explicit VrmlWriter(std::string& out) : m_out(out) {}
    // Writes to `file` in blocks of about a megabyte; Finish writes the rest.
    explicit VrmlWriter(std::FILE* file) : m_out(m_buffer), m_file(file) {}
    // Writes what is buffered to the file; false when any write to it failed.
    bool Finish();
    // The header line, the root and the tree's ROUTEs. A Group root without
    // a name has its children at the top (the loader wraps a file's
    // top-level nodes in a Group of its own); another root stands there itself.
    void WriteScene(const SceneTree& tree);
    // The same for a node tree without ROUTEs.
    void WriteScene(SingleNode* root);

  private:
    void Write(SingleNode* root, const SceneTree* tree);
    void NameNodes(SingleNode* root, const SceneTree* tree);
    void WriteNode(SingleNode* node, int indent);
    void WriteValue(const Field& field, int indent);
    void Indent(int indent);
    // Hands a full block to the file.
    void Spill();

    std::string m_buffer;
    std::string& m_out;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
    // The names of the nodes that get one (shared or named by a ROUTE), and
    // whether each has been written (DEF) already.
    struct Name {
        std::uint32_t number;
        bool written;
    };
    std::unordered_map<const SingleNode*, Name> m_names;
};

// The node type's name in VRML97 text ("" for ids without a name).
const char* VrmlNodeName(int nodeType);
