// Helpers for the node tests: the catalogue tables read at run time, new
// nodes, and encoding a node into bytes.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "coding_helpers.h"
#include "node/node_impl.h"
#include "node/node_ptr.h"
#include "node/nodes.h"

using NodePtr = node::Ptr<SingleNode>;

// A new node of type `type` with its defaults; null for a type without a class.
inline NodePtr NewNode(int type) {
    return NodePtr::Adopt(CreateNode(type));
}

// The node as its class T (std::bad_cast when it is not one).
template <class T>
T& As(const NodePtr& node) {
    return dynamic_cast<T&>(*node);
}

// One row of a tab-separated table, by column name.
using TableRow = std::map<std::string, std::string>;

inline std::vector<TableRow> ReadTable(const std::string& path) {
    std::ifstream in(path);
    std::vector<TableRow> rows;
    std::vector<std::string> header;
    std::string line;
    auto split = [](const std::string& l) {
        std::vector<std::string> cells;
        std::stringstream ss(l);
        std::string cell;
        while (std::getline(ss, cell, '\t')) {
            // Cells quoted CSV-style ("[""BEGIN""]") lose their quoting.
            if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
                std::string plain;
                for (std::size_t i = 1; i + 1 < cell.size(); ++i) {
                    plain += cell[i];
                    if (cell[i] == '"' && cell[i + 1] == '"') ++i;
                }
                cell = plain;
            }
            cells.push_back(cell);
        }
        if (!l.empty() && l.back() == '\t') cells.emplace_back();
        return cells;
    };
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells = split(line);
        if (header.empty()) {
            header = cells;
            continue;
        }
        TableRow row;
        for (std::size_t i = 0; i < header.size(); ++i)
            row[header[i]] = i < cells.size() ? cells[i] : "";
        rows.push_back(row);
    }
    return rows;
}

// The catalogue tables; ORVANE_CATALOGUE_DIR in the environment points the
// tests at another copy (used to check that a changed cell fails them).
inline std::string CatalogueFile(const char* name) {
    const char* dir = std::getenv("ORVANE_CATALOGUE_DIR");
    return std::string(dir != nullptr ? dir : ORVANE_CATALOGUE_DIR) + "/" + name;
}

// NDT class names by NDT id, written out here rather than taken from the
// library so that a shifted numbering there fails the tests.
inline const std::vector<std::string>& NDTNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v{""};
        std::istringstream in(
            "2D 3D Appearance Audio Background2D Background3D Color Coordinate2D Coordinate "
            "Expression FaceDefMesh FaceDefTables FaceDefTransform FAP FDP FIT Fog FontStyle "
            "Geometry LineProperties Material NavigationInfo Normal Streaming TextureCoordinate "
            "Texture TextureTransform Top Viewpoint Viseme World");
        for (std::string w; in >> w;) v.push_back("SF" + w + "Node");
        return v;
    }();
    return names;
}

inline std::uint8_t NDTByName(const std::string& name) {
    const auto& names = NDTNames();
    for (std::size_t i = 1; i < names.size(); ++i) {
        if (names[i] == name) return static_cast<std::uint8_t>(i);
    }
    return 0;
}

// The first node type (by id) that belongs to NDT `ndt`.
inline int FirstTypeIn(std::uint8_t ndt) {
    for (int t = 1; t <= 100; ++t) {
        if (GetLocalCodeInNDT(ndt, t) != 0) return t;
    }
    return 0;
}

inline std::vector<std::uint8_t> EncodeNodeBytes(SingleNode& node, std::uint8_t ndt) {
    return EncodeBytes([&](OutStream& out) { node.EncodeNode(out, ndt); });
}

// The text form of a single value or a list ("" for anything else).
inline std::string TextOf(const Field* f) {
    std::string out;
    if (auto* s = dynamic_cast<const SFField*>(f)) s->ToString(out);
    if (auto* m = dynamic_cast<const MultiField*>(f)) m->ToString(out);
    return out;
}
