// VrmlLoader: reads "standardNodes.wrl" and a VRML97 scene into nodes under a
// root Group, with the DEF table, the route list and the node type registry.
// Errors go to an error stream ("Error near line N: ...") and are counted.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "loader/field_values.h"
#include "loader/route.h"
#include "loader/vrml_node_type.h"

class SingleNode;
struct LexState;

class VrmlLoader {
  public:
    // Results of the parse entry points.
    enum Status { kLoadOk = 0, kNoStandardNodes = 1, kNoSceneFile = 2 };
    // Interface declaration categories of AddToProto.
    enum Declaration { kEventIn, kEventOut, kField, kExposedField };

    VrmlLoader();
    ~VrmlLoader();
    VrmlLoader(const VrmlLoader&) = delete;
    VrmlLoader& operator=(const VrmlLoader&) = delete;

    // Where errors and the node/field trace go (std::cerr and std::cout by
    // default); null silences them. Errors are counted either way.
    void SetErrorStream(std::ostream* errors);
    void SetTraceStream(std::ostream* trace) { m_trace = trace; }
    // Path of the declarations file; "standardNodes.wrl" by default.
    void SetStandardNodesPath(std::string path) { m_standardNodesPath = std::move(path); }

    // A new empty Group becomes the root; routes and DEF names are dropped.
    void ResetParser();
    // Reads the declarations file, then the scene ("tri1.wrl" when null) in a
    // scope of its own. A file that cannot be opened prints "Error, couldn't
    // open standardNodes.wrl file" or "Error, could not open file" and gives
    // kNoStandardNodes or kNoSceneFile; syntax errors are reported and counted.
    int ParseVrmlFile(const char* fileName);
    // The two halves of ParseVrmlFile, and the same from text in memory.
    int LoadStandardNodes();
    void ParseStandardNodesText(std::string_view text);
    int ParseSceneFile(const std::string& path);
    void ParseSceneText(std::string_view text);

    SingleNode* GetSceneRoot() const { return m_root; }
    const RouteList& GetRouteList() const { return m_routes; }
    // The node DEFined under `name` (the first one), or null.
    SingleNode* FindDef(const std::string& name) const;
    const std::vector<std::string>& GetDefNames() const { return m_defNames; }
    const VrmlNodeTypeRegistry& Registry() const { return m_registry; }
    // Errors reported since construction.
    int GetErrorCount() const { return m_errorCount; }

    // Field type token of a type name ("SFBool" .. "MFNode"); 0 with
    // "Illegal field type: <name>" for any other name.
    int FieldTypeToken(std::string_view typeName);
    // "Error near line N: <message>"; clears the expected token.
    void ParseError(const char* message);

    // Grammar actions, called by the generated parser.
    void ExpectToken(int token);
    void SetPendingDef(const char* name);
    void UseNode(const char* name);
    void BeginProto(const char* name);
    void EndProto();
    void AddToProto(Declaration kind, const char* typeName, const char* name);
    void AddRoute(const char* node1, const char* field1, const char* node2, const char* field2);
    void EnterNode(const char* typeName);
    void ExitNode();
    void EnterField(const char* name);
    void StoreValue();
    void ExitField();
    void CheckScriptInterface();
    void SetValueKind(int kind) { m_valueKind = kind; }
    void ClearValueKind() { m_valueKind = 0; }

    // First ALL index whose name is `name`; -1 when none (or no node).
    static int FindFieldIndex(const SingleNode* node, std::string_view name);
    // The same through a table per node type, built at the type's first lookup.
    int FieldIndex(const SingleNode* node, std::string_view name);

  private:
    struct FieldRecord {
        const VrmlNodeType* type = nullptr;
        std::string fieldName;
    };

    // Runs the grammar over an open file or a text; restores the scopes and
    // stacks an aborted parse leaves behind.
    void Parse(std::FILE* file, std::string_view text);
    void ReleaseStacks();
    void ReleaseRoutesAndDefs();
    // Index of a ROUTE end; also accepts set_<f> and <f>_changed of an exposedField f.
    int FindRouteField(const SingleNode* node, const std::string& name);
    void TraceIndent(const char* label, std::string_view name) const;
    void BuildPendingValue();
    void Report(std::string_view line);
    SingleNode* CurrentNode() const { return m_nodeStack.empty() ? nullptr : m_nodeStack.back(); }

    std::ostream* m_errors;
    std::ostream* m_trace;
    std::string m_standardNodesPath = "standardNodes.wrl";
    int m_errorCount = 0;
    LexState* m_lex = nullptr;  // the scanner state of the parse in progress

    SingleNode* m_root = nullptr;
    RouteList m_routes;
    std::map<std::string, SingleNode*, std::less<>> m_defTable;
    std::vector<std::string> m_defNames;

    std::vector<SingleNode*> m_nodeStack;  // each entry holds a reference; may be null
    std::vector<std::string> m_nodeNameStack;
    std::vector<FieldRecord> m_fieldRecords;
    std::vector<std::string> m_fieldNameStack;
    std::string m_currentFieldName;
    std::string m_currentTypeName;
    FieldValue m_pending;  // the value read for the current field, not yet stored
    int m_valueKind = 0;
    bool m_pendingDefFlag = false;
    std::string m_pendingDefName;
    bool m_useFlag = false;

    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    using FieldIndexTable = std::unordered_map<std::string, int, NameHash, std::equal_to<>>;
    std::vector<FieldIndexTable> m_fieldIndexCache;  // by node type id

    std::vector<std::unique_ptr<VrmlNodeType>> m_protoStack;
    VrmlNodeTypeRegistry m_registry;
};

// The process-wide loader that the viewer's load sequence uses, and the
// entry operations over it.
VrmlLoader& GetVrmlLoader();
void ResetParser();
int ParseVrmlFile(const char* fileName);
// As ParseVrmlFile, but a file that cannot be opened ends the process with exit code 1.
int ParseVrmlFileOrExit(const char* fileName);
