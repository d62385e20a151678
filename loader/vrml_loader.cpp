#include "loader/vrml_loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <unordered_map>

#include "loader/field_values.h"
#include "loader/lex_state.h"
#include "loader/parse_actions.h"
#include "node/node_basenodedef.h"
#include "node/node_ptr.h"
#include "vrml_lexer.hpp"
#include "vrml_parser.hpp"

namespace {

// Node type id of a name exactly as the node-name table spells it; -1 when
// the table has no such row.
int NameTableId(std::string_view name) {
    static const std::unordered_map<std::string, int> table = [] {
        std::unordered_map<std::string, int> rows;
        std::string row;
        for (int id = 1; id <= 100; ++id)
            if (GetNodeTypeName(id, row) == 0) rows.emplace(row, id);
        return rows;
    }();
    auto it = table.find(std::string(name));
    return it == table.end() ? -1 : it->second;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void ReportFromLexer(void* context, const char* message) {
    static_cast<ParseActions*>(context)->ParseError(message);
}

template <class V>
void ReleaseBig(std::vector<V>& values) {
    if (values.capacity() > (1u << 16)) std::vector<V>().swap(values);
    values.clear();
}

using NodePtr = node::Ptr<SingleNode>;

}  // namespace

class VrmlLoader::Builder final : public ParseActions {
  public:
    Builder() : m_errors(&std::cerr), m_trace(&std::cout), m_registry(&std::cerr) { ResetParser(); }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;
    ~Builder() = default;

    void SetErrorStream(std::ostream* errors) {
        m_errors = errors;
        m_registry.SetErrorStream(errors);
    }
    void SetTraceStream(std::ostream* trace) { m_trace = trace; }
    void SetStandardNodesPath(std::string path) { m_standardNodesPath = std::move(path); }

    void ResetParser();
    int LoadStandardNodes();
    void ParseStandardNodesText(std::string_view text);
    int ParseSceneFile(const std::string& path);
    void ParseSceneText(std::string_view text);

    SingleNode* GetSceneRoot() const { return m_root.Get(); }
    const RouteList& GetRouteList() const { return m_routes; }
    SingleNode* FindDef(const std::string& name) const;
    const std::vector<std::string>& GetDefNames() const { return m_defNames; }
    const VrmlNodeTypeRegistry& Registry() const { return m_registry; }
    int GetErrorCount() const { return m_errorCount; }

    // ParseActions
    int FieldTypeToken(std::string_view typeName) override;
    void ParseError(const char* message) override;
    void ExpectToken(int token) override;
    void SetPendingDef(const char* name) override;
    void UseNode(const char* name) override;
    void BeginProto(const char* name) override;
    void EndProto() override;
    void AddToProto(Declaration kind, const char* typeName, const char* name) override;
    void AddRoute(const char* node1, const char* field1, const char* node2,
                  const char* field2) override;
    void EnterNode(const char* typeName) override;
    void ExitNode() override;
    void EnterField(const char* name) override;
    void StoreValue() override;
    void ExitField() override;
    void CheckScriptInterface() override;
    void SetValueKind(int kind) override { m_valueKind = kind; }
    void ClearValueKind() override { m_valueKind = 0; }

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
    // The same as FindFieldIndex through a table per node type, built at the
    // type's first lookup.
    int FieldIndex(const SingleNode* node, std::string_view name);
    // Index of a ROUTE end; also accepts set_<f> and <f>_changed of an exposedField f.
    int FindRouteField(const SingleNode* node, const std::string& name);
    void TraceIndent(const char* label, std::string_view name) const;
    void BuildPendingValue();
    void Report(std::string_view line);
    SingleNode* CurrentNode() const {
        return m_nodeStack.empty() ? nullptr : m_nodeStack.back().Get();
    }

    std::ostream* m_errors;
    std::ostream* m_trace;
    std::string m_standardNodesPath = "standardNodes.wrl";
    int m_errorCount = 0;
    LexState* m_lex = nullptr;  // the scanner state of the parse in progress

    NodePtr m_root;
    RouteList m_routes;
    std::map<std::string, NodePtr, std::less<>> m_defTable;
    std::vector<std::string> m_defNames;

    std::vector<NodePtr> m_nodeStack;  // the root first; an entry may be null
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

// ---------------------------------------------------------------------------
// VrmlLoader: the public face of the builder

VrmlLoader::VrmlLoader() : m_builder(std::make_unique<Builder>()) {}

VrmlLoader::~VrmlLoader() = default;

void VrmlLoader::SetErrorStream(std::ostream* errors) {
    m_builder->SetErrorStream(errors);
}

void VrmlLoader::SetTraceStream(std::ostream* trace) {
    m_builder->SetTraceStream(trace);
}

void VrmlLoader::SetStandardNodesPath(std::string path) {
    m_builder->SetStandardNodesPath(std::move(path));
}

void VrmlLoader::ResetParser() {
    m_builder->ResetParser();
}

int VrmlLoader::ParseVrmlFile(const char* fileName) {
    if (int status = LoadStandardNodes(); status != kLoadOk) return status;
    return ParseSceneFile(fileName ? fileName : "tri1.wrl");
}

int VrmlLoader::LoadStandardNodes() {
    return m_builder->LoadStandardNodes();
}

void VrmlLoader::ParseStandardNodesText(std::string_view text) {
    m_builder->ParseStandardNodesText(text);
}

int VrmlLoader::ParseSceneFile(const std::string& path) {
    return m_builder->ParseSceneFile(path);
}

void VrmlLoader::ParseSceneText(std::string_view text) {
    m_builder->ParseSceneText(text);
}

SingleNode* VrmlLoader::GetSceneRoot() const {
    return m_builder->GetSceneRoot();
}

const RouteList& VrmlLoader::GetRouteList() const {
    return m_builder->GetRouteList();
}

SingleNode* VrmlLoader::FindDef(const std::string& name) const {
    return m_builder->FindDef(name);
}

const std::vector<std::string>& VrmlLoader::GetDefNames() const {
    return m_builder->GetDefNames();
}

const VrmlNodeTypeRegistry& VrmlLoader::Registry() const {
    return m_builder->Registry();
}

int VrmlLoader::GetErrorCount() const {
    return m_builder->GetErrorCount();
}

int VrmlLoader::FindFieldIndex(const SingleNode* node, std::string_view name) {
    if (node == nullptr) return -1;
    std::string fieldName;
    for (int i = 0; node->GetFieldName(i, fieldName) == 0; ++i)
        if (fieldName == name) return i;
    return -1;
}

// ---------------------------------------------------------------------------
// State

void VrmlLoader::Builder::ReleaseRoutesAndDefs() {
    m_routes.clear();
    m_defTable.clear();
    m_defNames.clear();
}

// Drops everything an unfinished parse left open above the root.
void VrmlLoader::Builder::ReleaseStacks() {
    if (m_nodeStack.size() > 1) m_nodeStack.resize(1);
    m_nodeNameStack.clear();
    m_fieldRecords.clear();
    m_fieldNameStack.clear();
    m_currentFieldName.clear();
    m_currentTypeName.clear();
    m_pending = {};
    m_valueKind = 0;
    m_pendingDefFlag = false;
    m_useFlag = false;
    m_protoStack.clear();
}

void VrmlLoader::Builder::ResetParser() {
    ReleaseStacks();
    ReleaseRoutesAndDefs();
    m_nodeStack.clear();
    m_root = NodePtr::Adopt(CreateNode(GetNodeTypeFromName("Group")));
    m_nodeStack.push_back(m_root);
}

SingleNode* VrmlLoader::Builder::FindDef(const std::string& name) const {
    auto it = m_defTable.find(name);
    return it == m_defTable.end() ? nullptr : it->second.Get();
}

void VrmlLoader::Builder::Report(std::string_view line) {
    if (m_errors) *m_errors << line;
}

void VrmlLoader::Builder::ParseError(const char* message) {
    ++m_errorCount;
    if (m_errors)
        *m_errors << "Error near line " << (m_lex ? m_lex->lineNumber : 0) << ": " << message
                  << "\n";
    ExpectToken(0);
}

void VrmlLoader::Builder::ExpectToken(int token) {
    if (m_lex) m_lex->expectedToken = token;
}

int VrmlLoader::Builder::FieldTypeToken(std::string_view typeName) {
    static const std::unordered_map<std::string_view, int> tokens = {
        {"SFBool", SFBOOL},         {"SFColor", SFCOLOR},   {"SFFloat", SFFLOAT},
        {"SFImage", SFIMAGE},       {"SFInt32", SFINT32},   {"SFNode", SFNODE},
        {"SFRotation", SFROTATION}, {"SFString", SFSTRING}, {"SFTime", SFTIME},
        {"SFVec2f", SFVEC2F},       {"SFVec3f", SFVEC3F},   {"MFColor", MFCOLOR},
        {"MFFloat", MFFLOAT},       {"MFInt32", MFINT32},   {"MFRotation", MFROTATION},
        {"MFString", MFSTRING},     {"MFVec2f", MFVEC2F},   {"MFVec3f", MFVEC3F},
        {"MFNode", MFNODE},
    };
    auto it = tokens.find(typeName);
    if (it != tokens.end()) return it->second;
    Report("Illegal field type: " + std::string(typeName) + "\n");
    return 0;
}

// ---------------------------------------------------------------------------
// Entry points

void VrmlLoader::Builder::Parse(std::FILE* file, std::string_view text) {
    if (file == nullptr && text.size() > static_cast<std::size_t>(INT32_MAX - 2)) {
        Report("Error, the text is too long to parse\n");
        ++m_errorCount;
        return;
    }
    LexState lex;
    lex.reportError = ReportFromLexer;
    lex.errorContext = static_cast<ParseActions*>(this);
    lex.trace = m_trace;
    yyscan_t scanner = nullptr;
    if (vrmllex_init_extra(&lex, &scanner) != 0) return;
    if (file)
        vrmlset_in(file, scanner);
    else
        vrml_scan_bytes(text.data(), static_cast<int>(text.size()), scanner);
    int depth = m_registry.ScopeDepth();
    m_lex = &lex;
    vrmlparse(this, scanner);
    m_lex = nullptr;
    vrmllex_destroy(scanner);
    // A parse stopped by an error may leave prototypes and nodes open.
    while (m_registry.ScopeDepth() > depth) m_registry.PopNameSpace();
    ReleaseStacks();
}

int VrmlLoader::Builder::LoadStandardNodes() {
    std::FILE* file = std::fopen(m_standardNodesPath.c_str(), "rb");
    if (file == nullptr) {
        Report("Error, couldn't open standardNodes.wrl file");
        Report("\n");
        return VrmlLoader::kNoStandardNodes;
    }
    Parse(file, {});
    std::fclose(file);
    return VrmlLoader::kLoadOk;
}

void VrmlLoader::Builder::ParseStandardNodesText(std::string_view text) {
    Parse(nullptr, text);
}

int VrmlLoader::Builder::ParseSceneFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Report("Error, could not open file\n");
        return VrmlLoader::kNoSceneFile;
    }
    m_registry.PushNameSpace();
    Parse(file, {});
    m_registry.PopNameSpace();
    std::fclose(file);
    return VrmlLoader::kLoadOk;
}

void VrmlLoader::Builder::ParseSceneText(std::string_view text) {
    m_registry.PushNameSpace();
    Parse(nullptr, text);
    m_registry.PopNameSpace();
}

// ---------------------------------------------------------------------------
// Prototypes and routes

void VrmlLoader::Builder::BeginProto(const char* name) {
    m_registry.PushNameSpace();
    m_protoStack.push_back(std::make_unique<VrmlNodeType>(name));
}

void VrmlLoader::Builder::EndProto() {
    m_registry.PopNameSpace();
    if (m_protoStack.empty()) {
        Report("Error: Empty PROTO stack!\n");
        return;
    }
    std::unique_ptr<VrmlNodeType> type = std::move(m_protoStack.back());
    m_protoStack.pop_back();
    m_registry.AddToNameSpace(std::move(type));
}

void VrmlLoader::Builder::AddToProto(Declaration kind, const char* typeName, const char* name) {
    int type = FieldTypeToken(typeName);
    if (type == 0) Report("Error: invalid field type: 0\n");
    if (m_protoStack.empty()) {
        Report("Error: declaration outside of prototype\n");
        return;
    }
    VrmlNodeType& proto = *m_protoStack.back();
    switch (kind) {
        case kEventIn:
            proto.AddEventIn(name, type);
            break;
        case kEventOut:
            proto.AddEventOut(name, type);
            break;
        case kField:
            proto.AddField(name, type);
            break;
        case kExposedField:
            proto.AddExposedField(name, type);
            break;
    }
}

int VrmlLoader::Builder::FieldIndex(const SingleNode* node, std::string_view name) {
    if (node == nullptr) return -1;
    int type = GetNodeType(*node);
    if (type <= 0) return FindFieldIndex(node, name);
    if (m_fieldIndexCache.size() <= static_cast<std::size_t>(type))
        m_fieldIndexCache.resize(type + 1);
    FieldIndexTable& table = m_fieldIndexCache[type];
    if (table.empty()) {
        std::string fieldName;
        for (int i = 0; node->GetFieldName(i, fieldName) == 0; ++i) table.emplace(fieldName, i);
        // Fields the catalogue spells its own way take their values under the VRML97
        // name as well (standardNodes.wrl declares both).
        static const struct {
            const char* type;
            const char* field;
            const char* vrml97;
        } kSpellings[] = {{"IndexedFaceSet", "normalPerIndex", "normalPerVertex"},
                          {"Text", "_string", "string"},
                          {"Sound", "minFrint", "minFront"},
                          {"AudioSwitch", "whiceChoice", "whichChoice"},
                          {"CompositeTexture3D", "viewport", "viewpoint"}};
        std::string typeName;
        GetNodeTypeName(type, typeName);
        for (const auto& s : kSpellings) {
            auto it = table.find(std::string_view(s.field));
            if (typeName == s.type && it != table.end()) table.emplace(s.vrml97, it->second);
        }
    }
    auto it = table.find(name);
    return it == table.end() ? -1 : it->second;
}

int VrmlLoader::Builder::FindRouteField(const SingleNode* node, const std::string& name) {
    int index = FieldIndex(node, name);
    if (index >= 0 || node == nullptr) return index;
    std::string bare;
    if (name.starts_with("set_"))
        bare = name.substr(4);
    else if (EndsWith(name, "_changed"))
        bare = name.substr(0, name.size() - 8);
    else
        return -1;
    std::string typeName;
    GetNodeTypeName(GetNodeType(*node), typeName);
    const VrmlNodeType* type = m_registry.Find(typeName);
    // Only an exposedField answers to its set_ and _changed names.
    if (type == nullptr || type->HasField(bare) == 0 || type->HasEventIn("set_" + bare) == 0)
        return -1;
    return FieldIndex(node, bare);
}

void VrmlLoader::Builder::AddRoute(const char* node1, const char* field1, const char* node2,
                                   const char* field2) {
    SingleNode* from = FindDef(node1);
    SingleNode* to = FindDef(node2);
    if (from == nullptr || to == nullptr) return;
    int fromIndex = FindRouteField(from, field1);
    int toIndex = FindRouteField(to, field2);
    if (fromIndex < 0 || toIndex < 0) return;
    m_routes.push_back({NodePtr(from), fromIndex, NodePtr(to), toIndex});
}

// ---------------------------------------------------------------------------
// Nodes

void VrmlLoader::Builder::TraceIndent(const char* label, std::string_view name) const {
    if (m_trace == nullptr) return;
    *m_trace << std::string(m_nodeNameStack.size(), ' ') << label << " " << name << "\n";
}

void VrmlLoader::Builder::SetPendingDef(const char* name) {
    m_pendingDefFlag = true;
    m_pendingDefName = name;
}

void VrmlLoader::Builder::UseNode(const char* name) {
    m_useFlag = true;
    m_pendingDefName = name;
    EnterNode(nullptr);
    ExitNode();
    m_useFlag = false;
}

void VrmlLoader::Builder::EnterNode(const char* typeName) {
    m_currentTypeName = typeName ? typeName : "";
    const VrmlNodeType* type = nullptr;
    if (!m_useFlag) {
        type = m_registry.Find(m_currentTypeName);
        if (type == nullptr) {
            std::string message = "Unknown node type '" + m_currentTypeName + "'";
            ParseError(message.c_str());
        }
    }
    m_fieldRecords.push_back({type, {}});
    TraceIndent("Get node:", m_useFlag ? "USE " + m_pendingDefName : m_currentTypeName);

    NodePtr node;
    if (!m_useFlag) {
        int id = NameTableId(m_currentTypeName);
        if (id > 0) node = NodePtr::Adopt(CreateNode(id));
    } else {
        node = NodePtr(FindDef(m_pendingDefName));
        // A node used inside its own body would contain itself.
        if (node && std::find(m_nodeStack.begin(), m_nodeStack.end(), node) != m_nodeStack.end()) {
            std::string message = "USE " + m_pendingDefName + " inside its own node ignored";
            ParseError(message.c_str());
            node.Reset();
        }
    }
    if (m_pendingDefFlag) {
        m_defNames.push_back(m_pendingDefName);
        m_defTable.emplace(m_pendingDefName, node);
        m_pendingDefFlag = false;
    }
    m_nodeStack.push_back(std::move(node));
    m_nodeNameStack.push_back(m_currentTypeName);
}

void VrmlLoader::Builder::ExitNode() {
    if (m_fieldRecords.empty() || m_nodeNameStack.empty() || m_nodeStack.size() < 2) {
        Report("Assertion failed: fr != NULL, file loader/vrml_loader.cpp\n");
        return;
    }
    m_fieldRecords.pop_back();
    std::string parentField = m_fieldRecords.empty() ? "" : m_fieldRecords.back().fieldName;
    NodePtr node = std::move(m_nodeStack.back());
    m_nodeStack.pop_back();
    SingleNode* parent = CurrentNode();
    if (parent && node) {
        // A grouping node's children go through addChildren (which appends);
        // a node written in any other field (Collision's proxy) goes there.
        int index = -1;
        if (parentField.empty() || parentField == "children")
            index = FieldIndex(parent, "addChildren");
        if (index < 0 && !parentField.empty()) index = FieldIndex(parent, parentField);
        if (index >= 0) parent->SetField(index, node.Get());
    }
    std::string exited = std::move(m_nodeNameStack.back());
    m_nodeNameStack.pop_back();
    TraceIndent("Exit node:", exited);
    m_currentTypeName = m_nodeNameStack.empty() ? "" : m_nodeNameStack.back();
}

// ---------------------------------------------------------------------------
// Fields

void VrmlLoader::Builder::EnterField(const char* name) {
    if (m_fieldRecords.empty()) {
        Report("Assertion failed: fr != NULL, file loader/vrml_loader.cpp\n");
        return;
    }
    m_currentFieldName = name;
    m_fieldRecords.back().fieldName = name;
    m_pending = {};
    TraceIndent("Field:", name);
    m_fieldNameStack.push_back(name);

    const VrmlNodeType* type = m_fieldRecords.back().type;
    if (type && type->HasEventIn(name) == 0 && type->HasEventOut(name) == 0) {
        int token = type->HasField(name);
        if (token == 0)
            Report("Error: Node's of type " + m_currentTypeName +
                   " do not have fields/eventIn/eventOut named " + name + "\n");
        else
            ExpectToken(token);
    }
}

void VrmlLoader::Builder::StoreValue() {
    if (m_fieldRecords.empty() || m_lex == nullptr) return;
    // A node that could not be created keeps none of its values.
    if (CurrentNode() != nullptr) BuildPendingValue();
    LexState& lex = *m_lex;
    ReleaseBig(lex.floats);
    ReleaseBig(lex.ints);
    lex.strings.clear();
    m_valueKind = 0;
}

void VrmlLoader::Builder::BuildPendingValue() {
    m_pending = MakeFieldValue(m_valueKind, *m_lex, m_currentFieldName);
    if (HasIncompleteTuple(m_valueKind, *m_lex))
        ParseError("incomplete last element in a list value");
    if (m_trace == nullptr || !m_pending) return;
    std::string text;
    if (m_pending.single)
        m_pending.single->ToString(text);
    else if (m_pending.multi->GetCount() <= 16)
        m_pending.multi->ToString(text);
    else
        text = std::to_string(m_pending.multi->GetCount()) + " values";
    *m_trace << std::string(m_nodeNameStack.size(), ' ') << "Value: " << text << "\n";
}

void VrmlLoader::Builder::ExitField() {
    if (m_fieldNameStack.empty() || m_fieldRecords.empty()) {
        Report("Assertion failed: fr != NULL, file loader/vrml_loader.cpp\n");
        return;
    }
    SingleNode* node = CurrentNode();
    int index = FieldIndex(node, m_fieldNameStack.back());
    if (index >= 0) StoreFieldValue(*node, index, m_pending);
    m_pending = {};
    TraceIndent("Exit Field:", m_fieldNameStack.back());
    m_fieldNameStack.pop_back();
    m_currentFieldName = m_fieldNameStack.empty() ? "" : m_fieldNameStack.back();
    m_fieldRecords.back().fieldName.clear();
}

void VrmlLoader::Builder::CheckScriptInterface() {
    const VrmlNodeType* type = m_fieldRecords.empty() ? nullptr : m_fieldRecords.back().type;
    if (type && type->GetName() == "Script") return;
    ParseError("interface declaration outside of Script or prototype");
}
