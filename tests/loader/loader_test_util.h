// Helpers of the loader tests: a loader reading the generated standardNodes.wrl
// with its errors captured, and node lookups.
#pragma once

#include <sstream>
#include <string>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"

class LoaderFixtureBase {
  public:
    LoaderFixtureBase() {
        static bool tables = (InitNDTTables(), true);
        (void)tables;
        loader.SetErrorStream(&errors);
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(ORVANE_STANDARD_NODES);
    }

    // Loads the declarations (once) and the scene text after a reset; Load
    // puts the header before the text.
    void LoadText(const std::string& text) {
        if (!standardLoaded) {
            loader.LoadStandardNodes();
            standardLoaded = true;
        }
        loader.ResetParser();
        loader.ParseSceneText(text);
    }
    void Load(const std::string& scene) { LoadText("#VRML V2.0 utf8\n" + scene); }

    // Top-level nodes of the scene.
    const MultiNode& TopLevel() const { return *Children(loader.GetSceneRoot()); }

    static MultiNode* Children(SingleNode* node) {
        int index = VrmlLoader::FindFieldIndex(node, "children");
        return index < 0 ? nullptr : dynamic_cast<MultiNode*>(node->GetField(index));
    }
    static Field* FieldOf(SingleNode* node, const char* name) {
        int index = VrmlLoader::FindFieldIndex(node, name);
        return index < 0 ? nullptr : node->GetField(index);
    }
    static std::string TypeOf(const SingleNode* node) {
        std::string name;
        GetNodeTypeName(GetNodeType(*node), name);
        return name;
    }

    VrmlLoader loader;
    std::ostringstream errors;
    bool standardLoaded = false;
};
