#include "loader/vrml_loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <unordered_map>

#include "loader/field_values.h"
#include "loader/lex_state.h"
#include "node/node_basenodedef.h"
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
    static_cast<VrmlLoader*>(context)->ParseError(message);
}

template <class V>
void ReleaseBig(std::vector<V>& values) {
    if (values.capacity() > (1u << 16)) std::vector<V>().swap(values);
    values.clear();
}

}  // namespace

VrmlLoader::VrmlLoader() : m_errors(&std::cerr), m_trace(&std::cout), m_registry(&std::cerr) {
    ResetParser();
}

VrmlLoader::~VrmlLoader() {
    ReleaseStacks();
    ReleaseRoutesAndDefs();
    for (SingleNode* node : m_nodeStack)
        if (node) node->Release();
    if (m_root) m_root->Release();
}

void VrmlLoader::SetErrorStream(std::ostream* errors) {
    m_errors = errors;
    m_registry.SetErrorStream(errors);
}

void VrmlLoader::ReleaseRoutesAndDefs() {
    for (Route& route : m_routes) {
        route.fromNode->Release();
        route.toNode->Release();
    }
    m_routes.clear();
    for (auto& [name, node] : m_defTable)
        if (node) node->Release();
    m_defTable.clear();
    m_defNames.clear();
}

// Drops everything an unfinished parse left open above the root.
void VrmlLoader::ReleaseStacks() {
    while (m_nodeStack.size() > 1) {
        if (m_nodeStack.back()) m_nodeStack.back()->Release();
        m_nodeStack.pop_back();
    }
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

void VrmlLoader::ResetParser() {
    ReleaseStacks();
    ReleaseRoutesAndDefs();
    for (SingleNode* node : m_nodeStack)
        if (node) node->Release();
    m_nodeStack.clear();
    if (m_root) m_root->Release();
    m_root = nullptr;
    if (SFWorldNode* group = CreateNode(GetNodeTypeFromName("Group"))) m_root = group;
    if (m_root) m_root->AddRef();
    m_nodeStack.push_back(m_root);
}

SingleNode* VrmlLoader::FindDef(const std::string& name) const {
    auto it = m_defTable.find(name);
    return it == m_defTable.end() ? nullptr : it->second;
}

void VrmlLoader::Report(std::string_view line) {
    if (m_errors) *m_errors << line;
}

void VrmlLoader::ParseError(const char* message) {
    ++m_errorCount;
    if (m_errors)
        *m_errors << "Error near line " << (m_lex ? m_lex->lineNumber : 0) << ": " << message
                  << "\n";
    ExpectToken(0);
}

void VrmlLoader::ExpectToken(int token) {
    if (m_lex) m_lex->expectedToken = token;
}

int VrmlLoader::FieldTypeToken(std::string_view typeName) {
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

void VrmlLoader::Parse(std::FILE* file, std::string_view text) {
    if (file == nullptr && text.size() > static_cast<std::size_t>(INT32_MAX - 2)) {
        Report("Error, the text is too long to parse\n");
        ++m_errorCount;
        return;
    }
    LexState lex;
    lex.reportError = ReportFromLexer;
    lex.errorContext = this;
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

int VrmlLoader::LoadStandardNodes() {
    std::FILE* file = std::fopen(m_standardNodesPath.c_str(), "rb");
    if (file == nullptr) {
        Report("Error, couldn't open standardNodes.wrl file");
        Report("\n");
        return kNoStandardNodes;
    }
    Parse(file, {});
    std::fclose(file);
    return kLoadOk;
}

void VrmlLoader::ParseStandardNodesText(std::string_view text) {
    Parse(nullptr, text);
}

int VrmlLoader::ParseSceneFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Report("Error, could not open file\n");
        return kNoSceneFile;
    }
    m_registry.PushNameSpace();
    Parse(file, {});
    m_registry.PopNameSpace();
    std::fclose(file);
    return kLoadOk;
}

void VrmlLoader::ParseSceneText(std::string_view text) {
    m_registry.PushNameSpace();
    Parse(nullptr, text);
    m_registry.PopNameSpace();
}

int VrmlLoader::ParseVrmlFile(const char* fileName) {
    if (int status = LoadStandardNodes(); status != kLoadOk) return status;
    return ParseSceneFile(fileName ? fileName : "tri1.wrl");
}

// ---------------------------------------------------------------------------
// Prototypes and routes

void VrmlLoader::BeginProto(const char* name) {
    m_registry.PushNameSpace();
    m_protoStack.push_back(std::make_unique<VrmlNodeType>(name));
}

void VrmlLoader::EndProto() {
    m_registry.PopNameSpace();
    if (m_protoStack.empty()) {
        Report("Error: Empty PROTO stack!\n");
        return;
    }
    std::unique_ptr<VrmlNodeType> type = std::move(m_protoStack.back());
    m_protoStack.pop_back();
    m_registry.AddToNameSpace(std::move(type));
}

void VrmlLoader::AddToProto(Declaration kind, const char* typeName, const char* name) {
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

int VrmlLoader::FindFieldIndex(const SingleNode* node, std::string_view name) {
    if (node == nullptr) return -1;
    std::string fieldName;
    for (int i = 0; node->GetFieldName(i, fieldName) == 0; ++i)
        if (fieldName == name) return i;
    return -1;
}

int VrmlLoader::FieldIndex(const SingleNode* node, std::string_view name) {
    if (node == nullptr) return -1;
    int type = GetNodeType(*node);
    if (type <= 0) return FindFieldIndex(node, name);
    if (m_fieldIndexCache.size() <= static_cast<std::size_t>(type))
        m_fieldIndexCache.resize(type + 1);
    FieldIndexTable& table = m_fieldIndexCache[type];
    if (table.empty()) {
        std::string fieldName;
        for (int i = 0; node->GetFieldName(i, fieldName) == 0; ++i) table.emplace(fieldName, i);
    }
    auto it = table.find(name);
    return it == table.end() ? -1 : it->second;
}

int VrmlLoader::FindRouteField(const SingleNode* node, const std::string& name) {
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

void VrmlLoader::AddRoute(const char* node1, const char* field1, const char* node2,
                          const char* field2) {
    SingleNode* from = FindDef(node1);
    SingleNode* to = FindDef(node2);
    if (from == nullptr || to == nullptr) return;
    int fromIndex = FindRouteField(from, field1);
    int toIndex = FindRouteField(to, field2);
    if (fromIndex < 0 || toIndex < 0) return;
    from->AddRef();
    to->AddRef();
    m_routes.push_back({from, fromIndex, to, toIndex});
}

// ---------------------------------------------------------------------------
// Nodes

void VrmlLoader::TraceIndent(const char* label, std::string_view name) const {
    if (m_trace == nullptr) return;
    *m_trace << std::string(m_nodeNameStack.size(), ' ') << label << " " << name << "\n";
}

void VrmlLoader::SetPendingDef(const char* name) {
    m_pendingDefFlag = true;
    m_pendingDefName = name;
}

void VrmlLoader::UseNode(const char* name) {
    m_useFlag = true;
    m_pendingDefName = name;
    EnterNode(nullptr);
    ExitNode();
    m_useFlag = false;
}

void VrmlLoader::EnterNode(const char* typeName) {
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

    SingleNode* node = nullptr;
    if (!m_useFlag) {
        int id = NameTableId(m_currentTypeName);
        if (id > 0) node = CreateNode(id);
    } else {
        node = FindDef(m_pendingDefName);
        // A node used inside its own body would contain itself.
        if (node && std::find(m_nodeStack.begin(), m_nodeStack.end(), node) != m_nodeStack.end()) {
            std::string message = "USE " + m_pendingDefName + " inside its own node ignored";
            ParseError(message.c_str());
            node = nullptr;
        }
        if (node) node->AddRef();
    }
    if (m_pendingDefFlag) {
        m_defNames.push_back(m_pendingDefName);
        auto [it, inserted] = m_defTable.emplace(m_pendingDefName, node);
        if (inserted && node) node->AddRef();
        m_pendingDefFlag = false;
    }
    m_nodeStack.push_back(node);
    m_nodeNameStack.push_back(m_currentTypeName);
}

void VrmlLoader::ExitNode() {
    if (m_fieldRecords.empty() || m_nodeNameStack.empty() || m_nodeStack.size() < 2) {
        Report("Assertion failed: fr != NULL, file loader/vrml_loader.cpp\n");
        return;
    }
    m_fieldRecords.pop_back();
    std::string parentField = m_fieldRecords.empty() ? "" : m_fieldRecords.back().fieldName;
    SingleNode* node = m_nodeStack.back();
    m_nodeStack.pop_back();
    SingleNode* parent = CurrentNode();
    if (parent && node) {
        // A grouping node's children go through addChildren (which appends);
        // a node written in any other field (Collision's proxy) goes there.
        int index = -1;
        if (parentField.empty() || parentField == "children")
            index = FieldIndex(parent, "addChildren");
        if (index < 0 && !parentField.empty()) index = FieldIndex(parent, parentField);
        if (index >= 0) parent->SetField(index, node);
    }
    std::string exited = std::move(m_nodeNameStack.back());
    m_nodeNameStack.pop_back();
    TraceIndent("Exit node:", exited);
    m_currentTypeName = m_nodeNameStack.empty() ? "" : m_nodeNameStack.back();
    if (node) node->Release();
}

// ---------------------------------------------------------------------------
// Fields

void VrmlLoader::EnterField(const char* name) {
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

void VrmlLoader::StoreValue() {
    if (m_fieldRecords.empty() || m_lex == nullptr) return;
    // A node that could not be created keeps none of its values.
    if (CurrentNode() != nullptr) BuildPendingValue();
    LexState& lex = *m_lex;
    ReleaseBig(lex.floats);
    ReleaseBig(lex.ints);
    lex.strings.clear();
    m_valueKind = 0;
}

void VrmlLoader::BuildPendingValue() {
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

void VrmlLoader::ExitField() {
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

void VrmlLoader::CheckScriptInterface() {
    const VrmlNodeType* type = m_fieldRecords.empty() ? nullptr : m_fieldRecords.back().type;
    if (type && type->GetName() == "Script") return;
    ParseError("interface declaration outside of Script or prototype");
}

// ---------------------------------------------------------------------------
// The process-wide loader

VrmlLoader& GetVrmlLoader() {
    static VrmlLoader loader;
    return loader;
}

void ResetParser() {
    GetVrmlLoader().ResetParser();
}

int ParseVrmlFile(const char* fileName) {
    return GetVrmlLoader().ParseVrmlFile(fileName);
}

int ParseVrmlFileOrExit(const char* fileName) {
    int status = ParseVrmlFile(fileName);
    if (status != VrmlLoader::kLoadOk) std::exit(1);
    return status;
}
