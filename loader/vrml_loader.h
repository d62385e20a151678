// VrmlLoader: reads "standardNodes.wrl" and a VRML97 scene into nodes under a
// root Group, with the DEF table, the route list and the node type registry.
// Errors go to an error stream ("Error near line N: ...") and are counted.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "loader/route.h"
#include "loader/vrml_node_type.h"

class SceneSource;
class SingleNode;

class VrmlLoader {
  public:
    // Results of the parse entry points.
    enum Status { kLoadOk = 0, kNoStandardNodes = 1, kNoSceneFile = 2 };

    VrmlLoader();
    ~VrmlLoader();
    VrmlLoader(const VrmlLoader&) = delete;
    VrmlLoader& operator=(const VrmlLoader&) = delete;

    // Where errors and the node/field trace go (std::cerr and std::cout by
    // default); null silences them. Errors are counted either way.
    void SetErrorStream(std::ostream* errors);
    void SetTraceStream(std::ostream* trace);
    // Path of the declarations file; "standardNodes.wrl" by default, which is
    // looked for beyond the working directory (see StandardNodesSource).
    void SetStandardNodesPath(std::string path);
    // Whether an Inline's file is read (the default): its nodes then stand in
    // a Group where the Inline is written. Off, the Inline node stays with its
    // url and no file is read (what a BIFS encoder writes).
    void SetReadInlines(bool read);

    // A new empty Group becomes the root; routes and DEF names are dropped.
    void ResetParser();
    // Reads the declarations file (its types replace those of an earlier
    // read), then the scene ("tri1.wrl" when null) in a scope of its own. A file that cannot be
    // opened prints "Error, couldn't open standardNodes.wrl file" or "Error, could not open file"
    // and gives kNoStandardNodes or kNoSceneFile; syntax errors are reported and counted.
    int ParseVrmlFile(const char* fileName);
    // The two halves of ParseVrmlFile, and the same from text in memory.
    int LoadStandardNodes();
    void ParseStandardNodesText(std::string_view text);
    int ParseSceneFile(const std::string& path);
    void ParseSceneText(std::string_view text);
    // ParseSceneFile from a source the caller opened (plain or gzip-compressed,
    // see SceneSource), to follow or cancel the read; kNoSceneFile also when the
    // text could not be read to its end ("Error, could not read file: why").
    int ParseSceneSource(SceneSource& source);

    SingleNode* GetSceneRoot() const;
    const RouteList& GetRouteList() const;
    // The node DEFined under `name` (the latest one), or null.
    SingleNode* FindDef(const std::string& name) const;
    const std::vector<std::string>& GetDefNames() const;
    const VrmlNodeTypeRegistry& Registry() const;
    // Errors reported since construction.
    int GetErrorCount() const;

    // First ALL index whose name is `name`; -1 when none (or no node).
    static int FindFieldIndex(const SingleNode* node, std::string_view name);

  private:
    // The parse state and the grammar's actions (ParseActions).
    class Builder;
    std::unique_ptr<Builder> m_builder;
};
