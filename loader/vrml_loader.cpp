#include "loader/vrml_loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <unordered_map>

#include "loader/field_values.h"
#include "loader/lex_state.h"
#include "loader/name_index.h"
#include "loader/parse_actions.h"
#include "loader/scene_source.h"
#include "loader/url.h"
#include "node/declared_node.h"
#include "node/node_basenodedef.h"
#include "node/node_ptr.h"
#include "vrml_lexer.hpp"
#include "vrml_parser.hpp"

namespace {

// Node type id of a name as the node-name table spells it, or as VRML97
// spells the two types that table shortens ("IndexedLineSet" for its
// "IndexLineSet"); -1 for any other name.
int NameTableId(std::string_view name) {
    static const NameIndex table = [] {
        NameIndex rows;
        std::string row;
        for (int id = 1; id <= 100; ++id)
            if (GetNodeTypeName(id, row) == 0) rows.Insert(row, id);
        for (const char* vrml : {"IndexedLineSet", "IndexedLineSet2D"})
            if (int id = GetNodeTypeFromName(vrml); id > 0) rows.Insert(vrml, id);
        return rows;
    }();
    return table.Find(name);
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A field that standardNodes.wrl declares under its VRML97 name beside the
// catalogue's spelling: `type` as the node-name table spells it.
struct FieldAlias {
    const char* type;
    const char* name;
    const char* field;
};
constexpr FieldAlias kFieldAliases[] = {
#include "standard_field_aliases.inc"
};

// True when ALL field `all` of the node is a field or exposedField that holds
// one node (not a list, not an eventIn).
bool HoldsOneNode(SingleNode& node, int all) {
    for (int i = 0; i < node.GetDEFCount(); ++i)
        if (node.DEFToAll(i) == all)
            return node.GetDEFFieldNDT(i) != nullptr && AsNodeList(node.GetDEFField(i)) == nullptr;
    return false;
}

void ReportFromLexer(void* context, const char* message) {
    static_cast<ParseActions*>(context)->ParseError(message);
}

// `name` becomes the top of `stack`, or empty; assigned in place, with no
// temporary string between.
void SetTop(std::string& name, const std::vector<std::string>& stack) {
    if (stack.empty())
        name.clear();
    else
        name = stack.back();
}

template <class V>
void ReleaseBig(std::vector<V>& values) {
    if (values.capacity() > (1u << 16)) std::vector<V>().swap(values);
    values.clear();
}

using NodePtr = node::Ptr<SingleNode>;

// The value of one field as the scanner left it, kept to be stored again
// (an interface default, or a value read inside a PROTO body).
struct ValueSnapshot {
    int kind = 0;
    bool boolValue = false;
    std::int32_t intValue = 0;
    float floatValue = 0;
    double timeValue = 0;
    std::string stringValue;
    std::vector<float> floats;
    std::vector<std::int32_t> ints;
    std::vector<std::string> strings;

    static ValueSnapshot Take(int kind, const LexState& lex) {
        return {kind,           lex.boolValue, lex.intValue,
                lex.floatValue, lex.timeValue, lex.stringValue,
                lex.floats,     lex.ints,      lex.strings};
    }
    void LoadInto(LexState& lex) const {
        lex.boolValue = boolValue;
        lex.intValue = intValue;
        lex.floatValue = floatValue;
        lex.timeValue = timeValue;
        lex.stringValue = stringValue;
        lex.floats = floats;
        lex.ints = ints;
        lex.strings = strings;
    }
};

// One grammar action read inside a PROTO (its interface defaults and body),
// played back for each instance.
struct TapeOp {
    enum Kind {
        kEnterNode,
        kExitNode,
        kUse,
        kDef,
        kEnterField,
        kValue,
        kExitField,
        kIs,
        kRoute,
        kBeginProto,
        kAddToProto,
        kEndProto,
        kEndExternProto,  // with its url list as the value
        kDeclare          // a Script's own field: declaration, type (b), name (c)
    };
    explicit TapeOp(Kind k) : kind(k) {}
    Kind kind;
    int line = 0;
    int declaration = 0;
    std::string a, b, c, d;
    std::shared_ptr<const ValueSnapshot> value;
};

struct NestedFile;

// What a scene PROTO declares: its interface, the default of each field and
// the actions of its body.
struct ProtoDefinition {
    struct Default {
        ValueSnapshot value;
        std::vector<TapeOp> nodeOps;  // the nodes of an SFNode/MFNode default
    };
    VrmlNodeType iface{""};
    std::map<std::string, Default, std::less<>> defaults;
    std::vector<TapeOp> tape;
    std::size_t mark = 0;  // start of the ops not yet given to a default
    std::size_t bodyStart = 0;
    // The Inline or EXTERNPROTO file that declares it; null for the scene's own.
    NestedFile* home = nullptr;
};

// A file read for an Inline or an EXTERNPROTO, once per load: its nodes, its
// ROUTEs, its top-level PROTOs and the namespace their bodies are read in.
struct NestedFile {
    std::string path;
    node::Ptr<SingleNode> group;  // its top-level nodes
    RouteList routes;             // join the scene's with the first Inline of the file
    bool routesJoined = false;
    std::vector<std::pair<std::string, std::shared_ptr<ProtoDefinition>>> protos;
    std::vector<std::unique_ptr<VrmlNodeType>> types;
};

// A type declared by PROTO; `definition` is set for the scene's own PROTOs
// (the declarations file's stand for the built-in nodes).
class ProtoType final : public VrmlNodeType {
  public:
    explicit ProtoType(std::string_view name) : VrmlNodeType(name, true) {}
    std::shared_ptr<ProtoDefinition> definition;
    // Fields an EXTERNPROTO declares unlike the PROTO it found: an instance's
    // values for them are dropped.
    std::set<std::string, std::less<>> ignored;
};

const ProtoType* AsProto(const VrmlNodeType* type) {
    return type != nullptr && type->IsPrototype() ? static_cast<const ProtoType*>(type) : nullptr;
}

bool IsNodeToken(int token) {
    return token == SFNODE || token == MFNODE;
}

// Nodes that draw nothing themselves: a PROTO body's extra nodes of these
// kinds join the scene where they can run, the others are kept undrawn.
bool DrawsNothing(std::string_view typeName) {
    return EndsWith(typeName, "Interpolator") || EndsWith(typeName, "Sensor") ||
           typeName == "Script" || typeName == "Valuator" || typeName == "Conditional";
}

// The scene model's element type and list flag of a field type token; null
// for a token that is no field type. An SFImage is kept as its numbers.
struct FieldTypeInfo {
    int token;
    const char* name;
    std::uint8_t type;
    bool multi;
};
const FieldTypeInfo* FieldTypeOf(int token) {
    static constexpr FieldTypeInfo kTypes[] = {
        {SFBOOL, "SFBool", kFieldSFBool, false},
        {SFCOLOR, "SFColor", kFieldSFColor, false},
        {SFFLOAT, "SFFloat", kFieldSFFloat, false},
        {SFIMAGE, "SFImage", kFieldSFInt32, true},
        {SFINT32, "SFInt32", kFieldSFInt32, false},
        {SFNODE, "SFNode", kFieldSFNode, false},
        {SFROTATION, "SFRotation", kFieldSFRotation, false},
        {SFSTRING, "SFString", kFieldSFString, false},
        {SFTIME, "SFTime", kFieldSFTime, false},
        {SFVEC2F, "SFVec2f", kFieldSFVec2f, false},
        {SFVEC3F, "SFVec3f", kFieldSFVec3f, false},
        {MFCOLOR, "MFColor", kFieldSFColor, true},
        {MFFLOAT, "MFFloat", kFieldSFFloat, true},
        {MFINT32, "MFInt32", kFieldSFInt32, true},
        {MFROTATION, "MFRotation", kFieldSFRotation, true},
        {MFSTRING, "MFString", kFieldSFString, true},
        {MFVEC2F, "MFVec2f", kFieldSFVec2f, true},
        {MFVEC3F, "MFVec3f", kFieldSFVec3f, true},
        {MFNODE, "MFNode", kFieldMFNode, true},
    };
    for (const FieldTypeInfo& info : kTypes)
        if (info.token == token) return &info;
    return nullptr;
}

// A node of a type without a BIFS class (Script, PixelTexture) with the
// fields its declared interface gives, in order: exposedFields and fields,
// then eventIns and eventOuts that belong to no field.
NodePtr MakeDeclaredNode(int id, const VrmlNodeType& type) {
    auto node = NodePtr::Adopt(new DeclaredNode(id));
    auto* declared = DeclaredNode::Of(node.Get());
    for (const VrmlNodeType::Interface& field : type.Fields()) {
        const FieldTypeInfo* info = FieldTypeOf(field.type);
        if (info == nullptr) continue;
        const bool exposed = type.HasEventIn("set_" + field.name) != 0 &&
                             type.HasEventOut(field.name + "_changed") != 0;
        declared->Declare(field.name, exposed ? FieldKind::ExposedField : FieldKind::Field,
                          info->type, info->multi, info->name);
    }
    for (const VrmlNodeType::Interface& event : type.EventIns()) {
        const FieldTypeInfo* info = FieldTypeOf(event.type);
        if (info == nullptr || (event.name.starts_with("set_") &&
                                type.HasField(std::string_view(event.name).substr(4)) != 0))
            continue;
        declared->Declare(event.name, FieldKind::EventIn, info->type, info->multi, info->name);
    }
    for (const VrmlNodeType::Interface& event : type.EventOuts()) {
        const FieldTypeInfo* info = FieldTypeOf(event.type);
        if (info == nullptr ||
            (EndsWith(event.name, "_changed") &&
             type.HasField(std::string_view(event.name).substr(0, event.name.size() - 8)) != 0))
            continue;
        declared->Declare(event.name, FieldKind::EventOut, info->type, info->multi, info->name);
    }
    return node;
}

// Longest chain of instances inside instances that expanding follows.
constexpr int kMaxProtoDepth = 32;
// Longest chain of files inside files (Inline, EXTERNPROTO) that loading follows.
constexpr int kMaxFileDepth = 32;
// Instances one load expands at most (nested PROTOs can multiply).
constexpr long kMaxExpansions = 2'000'000;

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
    void SetReadInlines(bool read) { m_readInlines = read; }

    void ResetParser();
    int LoadStandardNodes();
    void ParseStandardNodesText(std::string_view text);
    int ParseSceneFile(const std::string& path);
    int ParseSceneSource(SceneSource& source);
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
    void EndExternProto() override;
    void AddToProto(Declaration kind, const char* typeName, const char* name) override;
    void AddRoute(const char* node1, const char* field1, const char* node2,
                  const char* field2) override;
    void EnterNode(const char* typeName) override;
    void ExitNode() override;
    void EnterField(const char* name) override;
    void StoreValue() override;
    void ExitField() override;
    void DeclareField(Declaration kind, const char* typeName, const char* name) override;
    void BindIs(const char* name) override;
    void SetValueKind(int kind) override { m_valueKind = kind; }

  private:
    struct FieldRecord {
        const VrmlNodeType* type = nullptr;
        std::string fieldName;
    };

    // Runs the grammar over an open file or a text; restores the scopes and
    // stacks an aborted parse leaves behind.
    void Parse(std::FILE* file, std::string_view text, SceneSource* source = nullptr);
    void ReleaseStacks();
    void ReleaseRoutesAndDefs();
    // The same as FindFieldIndex through a table per node type, built at the
    // type's first lookup; the table also answers to the VRML97 names of the
    // fields the catalogue spells its own way ("string" for Text's "_string").
    int FieldIndex(const SingleNode* node, std::string_view name);
    // The field of `parent` that a node read under its field `fieldName` joins.
    int AttachIndex(SingleNode* parent, const std::string& fieldName);
    // Before each scene: unknown node types are reported once per scene.
    void BeginScene() { m_reportedUnknown.clear(); }
    // Index of a ROUTE end; also accepts set_<f> and <f>_changed of an exposedField f.
    int FindRouteField(const SingleNode* node, const std::string& name);
    void TraceIndent(const char* label, std::string_view name) const {
        if (m_trace != nullptr) WriteIndented(label, name);
    }
    void WriteIndented(const char* label, std::string_view name) const;
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

    // What the loader asks of a catalogue node type, worked out at its first node.
    struct TypeFields {
        NameIndex names;       // field names (and their VRML97 aliases) to indexes
        int addChildren = -1;  // the addChildren field, or −1
        // By field index: 1 when the field holds one node (HoldsOneNode), 0 when
        // not, −1 not yet asked.
        std::vector<std::int8_t> holdsOne;
    };
    // The table of the node's catalogue type; null for a node that declares its own
    // fields (a Script) or of no known type.
    TypeFields* FieldsOf(const SingleNode& node);
    // FieldIndex with the node's table already in hand (null: the node has none).
    int FieldIndexIn(const TypeFields* table, const SingleNode* node, std::string_view name);
    std::vector<TypeFields> m_fieldIndexCache;  // by node type id

    std::vector<std::unique_ptr<ProtoType>> m_protoStack;
    VrmlNodeTypeRegistry m_registry;
    std::set<std::string, std::less<>> m_reportedUnknown;

    // ---- PROTO instances
    using Binding = std::pair<NodePtr, int>;  // a body node and its field index
    using Bindings = std::map<std::string, std::vector<Binding>, std::less<>>;
    // A field given in an instance: its value, or its nodes.
    struct Slot {
        bool given = false;
        ValueSnapshot value;
        std::vector<NodePtr> nodes;
    };
    // An instance being read: the null entry at `stackIndex` of m_nodeStack
    // stands for it while its fields are read.
    struct Instance {
        std::shared_ptr<ProtoDefinition> definition;
        std::string name;
        std::size_t stackIndex = 0;
        std::string parentField;
        std::string defName;
        int line = 0;
        std::map<std::string, Slot, std::less<>> slots;
        // Fields of this instance bound with IS to the enclosing instance's
        // interface: (this instance's field, the enclosing one's field).
        std::vector<std::pair<std::string, std::string>> forwards;
    };
    // An instance whose body is being played back.
    struct Expansion {
        Instance instance;
        Bindings bindings;
    };
    // The interface of a DEFed instance, for ROUTEs that name its fields.
    struct InstanceInterface {
        std::shared_ptr<ProtoDefinition> definition;
        Bindings bindings;
    };
    // Top-level nodes of a played-back text gather here instead of joining a parent.
    struct Sink {
        std::size_t stackIndex = 0;
        std::vector<NodePtr> nodes;
    };

    bool Recording() const { return m_inScene && !m_protoStack.empty(); }
    void Record(TapeOp::Kind kind, std::string a = {}, std::string b = {}, std::string c = {},
                std::string d = {});
    void RecordOp(TapeOp op);
    Instance* InstanceAtTop();
    // Puts a node read (or made) where the node stack's top takes it.
    void AttachNode(const NodePtr& node, const std::string& parentField);
    void Expand(Instance instance);
    std::vector<NodePtr> PlayBack(const std::vector<TapeOp>& ops, std::size_t begin,
                                  std::size_t end);
    void Play(const TapeOp& op);
    void ApplyIs(const std::string& name);
    void KeepExtra(const NodePtr& node);
    std::vector<Binding> RouteEnds(SingleNode* node, const std::string& field);
    void ReportOnce(const std::string& key, const std::string& message, int line);

    bool m_inScene = false;
    bool m_lastWasIs = false;
    int m_playDepth = 0;
    long m_expansionCount = 0;
    LexState m_playLex;  // the scanner state that played-back values go through
    std::vector<Instance> m_instances;
    std::vector<Expansion> m_expansions;
    std::vector<Sink> m_sinks;
    std::map<const SingleNode*, InstanceInterface> m_instanceInterfaces;
    std::set<std::string, std::less<>> m_reportedOnce;
    NodePtr m_hidden;  // a Switch that shows nothing, for undrawn body nodes

    // ---- Inline and EXTERNPROTO files
    // What a nested file's parse replaces and gets back afterwards.
    struct SavedParse;
    SavedParse SaveParse();
    void RestoreParse(SavedParse&& saved);
    // The file at `path`, read on its first use in this load; null when it
    // cannot be opened, or when it is being read already (a cycle) or lies
    // deeper than kMaxFileDepth, which set `refused` and are reported once.
    NestedFile* ReadNested(const std::string& path, int line, bool* refused = nullptr);
    // The Group of the first of `urls` that can be read, or null (reported).
    NodePtr LoadInline(const std::vector<std::string>& urls, int line);
    // The PROTO an EXTERNPROTO's urls name, or null (reported).
    std::shared_ptr<ProtoDefinition> FindExternProto(ProtoType& type,
                                                     const std::vector<std::string>& urls,
                                                     int line);
    // Ends the PROTO being declared; `external` for an EXTERNPROTO.
    std::unique_ptr<ProtoType> PopProto(bool external = false);
    static std::string FileKey(const std::string& path);
    // " of <file>" for what an Inline or EXTERNPROTO file says; else empty.
    std::string InFile() const { return m_currentNested ? " of " + m_currentNested->path : ""; }

    // Inline nodes read outside PROTO bodies have their file read.
    bool ReadsInline(std::string_view typeName) const {
        return m_readInlines && !Recording() && typeName == "Inline";
    }

    bool m_readInlines = true;
    std::string m_currentFile;              // the file being read; empty for text
    NestedFile* m_currentNested = nullptr;  // the same, when it is not the scene
    std::vector<std::string> m_fileChain;   // the files being read, outermost first
    std::vector<std::string> m_inlineUrls;  // the url of the Inline being read
    std::string m_declaredField;            // the Script field declared last
    // Instances being expanded in the files that are reading this one: the
    // depth limit counts through files, which bounds the stack.
    std::size_t m_outerExpansions = 0;
    std::map<std::string, std::unique_ptr<NestedFile>> m_files;  // by FileKey
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

void VrmlLoader::SetReadInlines(bool read) {
    m_builder->SetReadInlines(read);
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

int VrmlLoader::ParseSceneSource(SceneSource& source) {
    return m_builder->ParseSceneSource(source);
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
    m_instanceInterfaces.clear();
    m_hidden.Reset();
    m_expansionCount = 0;
    m_reportedOnce.clear();
    m_files.clear();
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
    m_instances.clear();
    m_sinks.clear();
    m_expansions.clear();
    m_lastWasIs = false;
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
    // What a PROTO body says was reported when the body was read.
    if (m_playDepth > 0) return;
    ++m_errorCount;
    if (m_errors)
        *m_errors << "Error near line " << (m_lex ? m_lex->lineNumber : 0) << InFile() << ": "
                  << message << "\n";
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

void VrmlLoader::Builder::Parse(std::FILE* file, std::string_view text, SceneSource* source) {
    if (file == nullptr && source == nullptr &&
        text.size() > static_cast<std::size_t>(INT32_MAX - 2)) {
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
    if (source) {
        lex.readInput = [](void* context, char* buffer, std::size_t size) {
            return static_cast<SceneSource*>(context)->Read(buffer, size);
        };
        lex.inputContext = source;
    } else if (file) {
        vrmlset_in(file, scanner);
    } else {
        vrml_scan_bytes(text.data(), static_cast<int>(text.size()), scanner);
    }
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
    StandardNodesSource source(m_standardNodesPath);
    if (!source.IsOpen()) {
        Report("Error, couldn't open standardNodes.wrl file");
        Report("\n");
        return VrmlLoader::kNoStandardNodes;
    }
    // The declarations of an earlier read make way for those of this one.
    m_registry.Clear();
    Parse(source.File(), source.Text());
    return VrmlLoader::kLoadOk;
}

void VrmlLoader::Builder::ParseStandardNodesText(std::string_view text) {
    m_registry.Clear();
    Parse(nullptr, text);
}

int VrmlLoader::Builder::ParseSceneFile(const std::string& path) {
    SceneSource source(path);
    return ParseSceneSource(source);
}

int VrmlLoader::Builder::ParseSceneSource(SceneSource& source) {
    if (!source.IsOpen()) {
        Report("Error, could not open file\n");
        return VrmlLoader::kNoSceneFile;
    }
    BeginScene();
    m_registry.PushNameSpace();
    m_inScene = true;
    m_currentFile = source.Path();
    m_fileChain = {FileKey(source.Path())};
    Parse(nullptr, {}, &source);
    m_currentFile.clear();
    m_fileChain.clear();
    m_inScene = false;
    m_registry.PopNameSpace();
    source.Finish();
    if (source.Error().empty()) return VrmlLoader::kLoadOk;
    Report("Error, could not read file: " + source.Error() + "\n");
    return VrmlLoader::kNoSceneFile;
}

void VrmlLoader::Builder::ParseSceneText(std::string_view text) {
    BeginScene();
    m_registry.PushNameSpace();
    m_inScene = true;
    Parse(nullptr, text);
    m_inScene = false;
    m_registry.PopNameSpace();
}

// ---------------------------------------------------------------------------
// Prototypes and routes

void VrmlLoader::Builder::BeginProto(const char* name) {
    if (Recording()) Record(TapeOp::kBeginProto, name);
    m_registry.PushNameSpace();
    auto type = std::make_unique<ProtoType>(name);
    // A scene's outermost PROTO keeps its text; the ones inside it are kept
    // as part of that text and defined again for each instance.
    if (m_inScene && m_protoStack.empty()) type->definition = std::make_shared<ProtoDefinition>();
    m_protoStack.push_back(std::move(type));
}

void VrmlLoader::Builder::EndProto() {
    if (std::unique_ptr<ProtoType> type = PopProto()) m_registry.AddToNameSpace(std::move(type));
}

std::unique_ptr<ProtoType> VrmlLoader::Builder::PopProto(bool external) {
    m_registry.PopNameSpace();
    if (m_protoStack.empty()) {
        Report("Error: Empty PROTO stack!\n");
        return nullptr;
    }
    if (m_inScene && m_protoStack.size() > 1 && !external) Record(TapeOp::kEndProto);
    std::unique_ptr<ProtoType> type = std::move(m_protoStack.back());
    m_protoStack.pop_back();
    if (ProtoDefinition* definition = type->definition.get()) {
        definition->bodyStart = definition->mark;
        definition->iface = *type;
        definition->home = m_currentNested;
        // A file's own top-level PROTOs are what its EXTERNPROTO users find.
        if (m_currentNested && m_protoStack.empty() && m_playDepth == 0 && !external)
            m_currentNested->protos.emplace_back(type->GetName(), type->definition);
    }
    return type;
}

void VrmlLoader::Builder::AddToProto(Declaration kind, const char* typeName, const char* name) {
    int type = FieldTypeToken(typeName);
    if (type == 0) Report("Error: invalid field type: 0\n");
    if (m_protoStack.empty()) {
        Report("Error: declaration outside of prototype\n");
        return;
    }
    if (m_inScene && m_lex) {
        auto value = ValueSnapshot::Take(m_valueKind, *m_lex);
        if (m_protoStack.size() > 1) {
            TapeOp op(TapeOp::kAddToProto);
            op.declaration = kind;
            op.b = typeName;
            op.c = name;
            op.value = std::make_shared<ValueSnapshot>(std::move(value));
            RecordOp(std::move(op));
        } else if (ProtoDefinition* definition = m_protoStack.back()->definition.get()) {
            // The nodes read since the last declaration are this field's default.
            ProtoDefinition::Default& entry = definition->defaults[name];
            entry.value = std::move(value);
            entry.nodeOps.assign(definition->tape.begin() + definition->mark,
                                 definition->tape.end());
            definition->tape.erase(definition->tape.begin() + definition->mark,
                                   definition->tape.end());
        }
        m_lex->ClearValues();
        m_valueKind = 0;
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

VrmlLoader::Builder::TypeFields* VrmlLoader::Builder::FieldsOf(const SingleNode& node) {
    // Each Script declares fields of its own: no table per type.
    if (DeclaredNode::Of(&node) != nullptr) return nullptr;
    const int type = GetNodeType(node);
    if (type <= 0) return nullptr;
    if (m_fieldIndexCache.size() <= static_cast<std::size_t>(type))
        m_fieldIndexCache.resize(type + 1);
    TypeFields& table = m_fieldIndexCache[type];
    if (table.names.Empty()) {
        std::string fieldName;
        int count = 0;
        for (; node.GetFieldName(count, fieldName) == 0; ++count)
            table.names.Insert(fieldName, count);
        std::string typeName;
        GetNodeTypeName(type, typeName);
        for (const FieldAlias& alias : kFieldAliases) {
            if (typeName != alias.type) continue;
            const int index = table.names.Find(alias.field);
            if (index != NameIndex::kAbsent) table.names.Insert(alias.name, index);
        }
        table.addChildren = table.names.Find("addChildren");
        table.holdsOne.assign(static_cast<std::size_t>(count), -1);
    }
    return &table;
}

int VrmlLoader::Builder::FieldIndexIn(const TypeFields* table, const SingleNode* node,
                                      std::string_view name) {
    if (table != nullptr) return table->names.Find(name);
    if (const DeclaredNode* declared = DeclaredNode::Of(node)) return declared->FindField(name);
    return FindFieldIndex(node, name);
}

int VrmlLoader::Builder::FieldIndex(const SingleNode* node, std::string_view name) {
    if (node == nullptr) return -1;
    return FieldIndexIn(FieldsOf(*node), node, name);
}

// A node field the text names (a Layer3D's background, a viewpoint) takes the
// node; a grouping node takes every other node through addChildren, since
// its children list cannot be set directly; other nodes take it in the field
// the text names.
int VrmlLoader::Builder::AttachIndex(SingleNode* parent, const std::string& fieldName) {
    // A catalogue type's table keeps the answers; a Script or a node of no known type
    // (no table) has them worked out at each call.
    TypeFields* table = FieldsOf(*parent);
    const int named = fieldName.empty() ? -1 : FieldIndexIn(table, parent, fieldName);
    const int add =
        table != nullptr ? table->addChildren : FieldIndexIn(nullptr, parent, "addChildren");
    if (add < 0) return named;
    if (named < 0) return add;
    std::int8_t asked = -1;
    std::int8_t& one = table != nullptr ? table->holdsOne[static_cast<std::size_t>(named)] : asked;
    if (one < 0) one = HoldsOneNode(*parent, named) ? 1 : 0;
    return one != 0 ? named : add;
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

// The node fields a ROUTE end names: an instance's interface field stands for
// the body fields bound to it with IS; any other name is the node's own field.
std::vector<VrmlLoader::Builder::Binding> VrmlLoader::Builder::RouteEnds(SingleNode* node,
                                                                         const std::string& field) {
    auto found = m_instanceInterfaces.find(node);
    if (found != m_instanceInterfaces.end()) {
        const InstanceInterface& entry = found->second;
        const VrmlNodeType& iface = entry.definition->iface;
        if (iface.HasField(field) || iface.HasEventIn(field) || iface.HasEventOut(field)) {
            std::vector<Binding> ends;
            auto add = [&](const std::string& key) {
                auto it = entry.bindings.find(key);
                if (it != entry.bindings.end())
                    ends.insert(ends.end(), it->second.begin(), it->second.end());
            };
            add(field);
            // set_<f> and <f>_changed of an exposedField reach what <f> is bound to.
            if (field.starts_with("set_"))
                add(field.substr(4));
            else if (EndsWith(field, "_changed"))
                add(field.substr(0, field.size() - 8));
            return ends;
        }
    }
    int index = FindRouteField(node, field);
    if (index < 0) return {};
    return {{NodePtr(node), index}};
}

void VrmlLoader::Builder::AddRoute(const char* node1, const char* field1, const char* node2,
                                   const char* field2) {
    if (Recording()) {
        Record(TapeOp::kRoute, node1, field1, node2, field2);
        return;
    }
    SingleNode* from = FindDef(node1);
    SingleNode* to = FindDef(node2);
    if (from == nullptr || to == nullptr) return;
    for (const Binding& source : RouteEnds(from, field1))
        for (const Binding& target : RouteEnds(to, field2))
            m_routes.push_back({source.first, source.second, target.first, target.second});
}

// ---------------------------------------------------------------------------
// Nodes

void VrmlLoader::Builder::WriteIndented(const char* label, std::string_view name) const {
    *m_trace << std::string(m_nodeNameStack.size(), ' ') << label << " " << name << "\n";
}

void VrmlLoader::Builder::SetPendingDef(const char* name) {
    if (Recording()) {
        Record(TapeOp::kDef, name);
        return;
    }
    m_pendingDefFlag = true;
    m_pendingDefName = name;
}

void VrmlLoader::Builder::UseNode(const char* name) {
    if (Recording()) {
        Record(TapeOp::kUse, name);
        return;
    }
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
        // A PROTO's body naming that PROTO (or one it is inside) is read with
        // the interface declared; the instance is refused when it is made.
        if (type == nullptr && Recording())
            for (const auto& open : m_protoStack)
                if (open->GetName() == m_currentTypeName) type = open.get();
        if (type == nullptr) {
            // Said once per scene and name; the scanner passes over the body,
            // whose fields nothing can type, and the parse goes on after it.
            if (m_reportedUnknown.insert(m_currentTypeName).second) {
                std::string message = "Unknown node type '" + m_currentTypeName + "'";
                ParseError(message.c_str());
            }
            if (m_lex) m_lex->skipNodeBody = true;
        }
    }
    std::string parentField;
    if (!m_fieldRecords.empty()) parentField = m_fieldRecords.back().fieldName;
    m_fieldRecords.push_back({type, {}});
    if (m_trace != nullptr)
        TraceIndent("Get node:", m_useFlag ? "USE " + m_pendingDefName : m_currentTypeName);

    // Inside a PROTO the node is only noted, to be made for each instance.
    if (Recording()) {
        Record(TapeOp::kEnterNode, m_currentTypeName);
        m_nodeStack.emplace_back();
        m_nodeNameStack.push_back(m_currentTypeName);
        return;
    }
    auto* proto = AsProto(type);
    if (proto && proto->definition) {
        // An instance: its fields are gathered, the body is made at its end.
        Instance instance;
        instance.definition = proto->definition;
        instance.name = proto->GetName();
        instance.stackIndex = m_nodeStack.size();
        instance.parentField = parentField;
        instance.line = m_lex ? m_lex->lineNumber : 0;
        if (m_pendingDefFlag) {
            instance.defName = m_pendingDefName;
            m_pendingDefFlag = false;
        }
        m_instances.push_back(std::move(instance));
        m_nodeStack.emplace_back();
        m_nodeNameStack.push_back(m_currentTypeName);
        return;
    }

    NodePtr node;
    if (!m_useFlag) {
        int id = NameTableId(m_currentTypeName);
        if (id > 0 && DeclaredNode::Declares(id) && type != nullptr)
            node = MakeDeclaredNode(id, *type);
        else if (id > 0)
            node = NodePtr::Adopt(CreateNode(id));
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
        // A name defined again names the new node for what follows.
        m_defNames.push_back(m_pendingDefName);
        m_defTable.insert_or_assign(m_pendingDefName, node);
        if (DeclaredNode* declared = DeclaredNode::Of(node.Get()))
            declared->SetDefName(m_pendingDefName);
        m_pendingDefFlag = false;
    }
    // The node joins its parent now, so that what was read stays in the
    // scene when an error stops the parse inside the node. An Inline whose
    // file is read joins at its end, as the Group of the file's nodes.
    if (!ReadsInline(m_currentTypeName)) AttachNode(node, parentField);
    m_nodeStack.push_back(std::move(node));
    m_nodeNameStack.push_back(m_currentTypeName);
}

VrmlLoader::Builder::Instance* VrmlLoader::Builder::InstanceAtTop() {
    if (m_instances.empty() || m_instances.back().stackIndex + 1 != m_nodeStack.size())
        return nullptr;
    return &m_instances.back();
}

void VrmlLoader::Builder::AttachNode(const NodePtr& node, const std::string& parentField) {
    if (!node) return;
    if (Instance* instance = InstanceAtTop()) {
        Slot& slot = instance->slots[parentField];
        slot.given = true;
        slot.nodes.push_back(node);
        return;
    }
    if (!m_sinks.empty() && m_sinks.back().stackIndex + 1 == m_nodeStack.size()) {
        m_sinks.back().nodes.push_back(node);
        return;
    }
    SingleNode* parent = CurrentNode();
    if (parent == nullptr) return;
    int index = AttachIndex(parent, parentField);
    if (index >= 0) parent->SetField(index, node.Get());
}

void VrmlLoader::Builder::ExitNode() {
    if (m_fieldRecords.empty() || m_nodeNameStack.empty() || m_nodeStack.size() < 2) {
        Report("Assertion failed: fr != NULL, file loader/vrml_loader.cpp\n");
        return;
    }
    if (Recording()) Record(TapeOp::kExitNode);
    bool instance = InstanceAtTop() != nullptr;
    NodePtr inlined;
    if (!instance && !m_useFlag && ReadsInline(m_nodeNameStack.back()))
        inlined = m_nodeStack.back();
    m_fieldRecords.pop_back();
    m_nodeStack.pop_back();
    std::string exited = std::move(m_nodeNameStack.back());
    m_nodeNameStack.pop_back();
    TraceIndent("Exit node:", exited);
    SetTop(m_currentTypeName, m_nodeNameStack);
    if (inlined) {
        // The Inline's place takes the Group of its file's nodes; an Inline
        // whose file cannot be read stays, with its url.
        const int line = m_lex ? m_lex->lineNumber : 0;
        NodePtr group = LoadInline(std::exchange(m_inlineUrls, {}), line);
        // A DEF on the Inline names the Group (an Inline holds no other DEFs).
        if (group && !m_defNames.empty())
            if (auto it = m_defTable.find(m_defNames.back());
                it != m_defTable.end() && it->second == inlined)
                it->second = group;
        AttachNode(group ? group : inlined,
                   m_fieldRecords.empty() ? "" : m_fieldRecords.back().fieldName);
    }
    if (instance) {
        Instance done = std::move(m_instances.back());
        m_instances.pop_back();
        if (auto* type = AsProto(m_registry.Find(done.name)))
            for (const std::string& name : type->ignored) done.slots.erase(name);
        Expand(std::move(done));
        SetTop(m_currentTypeName, m_nodeNameStack);
    }
}

// ---------------------------------------------------------------------------
// Fields

void VrmlLoader::Builder::EnterField(const char* text) {
    if (m_fieldRecords.empty()) {
        Report("Assertion failed: fr != NULL, file loader/vrml_loader.cpp\n");
        return;
    }
    const std::string_view name(text);
    if (Recording()) Record(TapeOp::kEnterField, std::string(name));
    m_currentFieldName = name;
    m_fieldRecords.back().fieldName = name;
    m_pending = {};
    TraceIndent("Field:", name);
    m_fieldNameStack.push_back(m_currentFieldName);
    if (Instance* instance = InstanceAtTop()) instance->slots[m_currentFieldName].given = true;

    const VrmlNodeType* type = m_fieldRecords.back().type;
    // A Script's own field, just declared: the grammar expects its value.
    const bool declared = !m_declaredField.empty() && m_declaredField == name;
    m_declaredField.clear();
    if (declared || type == nullptr) return;
    const VrmlNodeType::Member member = type->Find(name);
    if (member.eventIn != 0 || member.eventOut != 0) return;
    if (member.field == 0 && m_playDepth == 0)
        Report("Error: Node's of type " + m_currentTypeName +
               " do not have fields/eventIn/eventOut named " + m_currentFieldName + "\n");
    else
        ExpectToken(member.field);
}

void VrmlLoader::Builder::StoreValue() {
    if (m_fieldRecords.empty() || m_lex == nullptr) return;
    if (Recording()) {
        // The value an IS stands for is not a value of its own.
        if (!m_lastWasIs) {
            TapeOp op(TapeOp::kValue);
            op.value = std::make_shared<ValueSnapshot>(ValueSnapshot::Take(m_valueKind, *m_lex));
            RecordOp(std::move(op));
        }
        m_lastWasIs = false;
    } else if (Instance* instance = InstanceAtTop()) {
        if (m_valueKind != 0) {
            Slot& slot = instance->slots[m_currentFieldName];
            slot.given = true;
            slot.value = ValueSnapshot::Take(m_valueKind, *m_lex);
        }
    } else if (CurrentNode() != nullptr) {
        // A node that could not be created keeps none of its values.
        if (m_valueKind == kValueMFString && m_currentFieldName == "url" &&
            !m_nodeNameStack.empty() && ReadsInline(m_nodeNameStack.back()))
            m_inlineUrls = m_lex->strings;  // before the value takes the strings
        BuildPendingValue();
    }
    LexState& lex = *m_lex;
    ReleaseBig(lex.floats);
    ReleaseBig(lex.ints);
    lex.strings.clear();
    m_valueKind = 0;
}

void VrmlLoader::Builder::BuildPendingValue() {
    m_pending = MakeFieldValue(m_valueKind, *m_lex, m_currentFieldName);
    if (m_playDepth == 0 && HasIncompleteTuple(m_valueKind, *m_lex))
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
    if (Recording()) Record(TapeOp::kExitField);
    SingleNode* node = CurrentNode();
    int index = FieldIndex(node, m_fieldNameStack.back());
    if (index >= 0) StoreFieldValue(*node, index, m_pending);
    m_pending = {};
    TraceIndent("Exit Field:", m_fieldNameStack.back());
    m_fieldNameStack.pop_back();
    SetTop(m_currentFieldName, m_fieldNameStack);
    m_fieldRecords.back().fieldName.clear();
}

void VrmlLoader::Builder::DeclareField(Declaration kind, const char* typeName, const char* name) {
    // The field that follows (a field's value, an IS) is the declared one,
    // also when the declaration is refused: its value is then dropped.
    m_declaredField = name;
    const VrmlNodeType* type = m_fieldRecords.empty() ? nullptr : m_fieldRecords.back().type;
    if (!type || type->GetName() != "Script") {
        ParseError("interface declaration outside of Script or prototype");
        return;
    }
    if (Recording()) {
        TapeOp op(TapeOp::kDeclare);
        op.declaration = kind;
        op.b = typeName;
        op.c = name;
        RecordOp(std::move(op));
        return;
    }
    DeclaredNode* script = DeclaredNode::Of(CurrentNode());
    if (script == nullptr) return;
    const FieldTypeInfo* info = FieldTypeOf(FieldTypeToken(typeName));
    if (info == nullptr) {
        std::string message = "Script field " + std::string(name) + " has the unknown type " +
                              typeName + "; left out";
        ParseError(message.c_str());
        return;
    }
    static constexpr FieldKind kKinds[] = {FieldKind::EventIn, FieldKind::EventOut,
                                           FieldKind::Field, FieldKind::ExposedField};
    if (script->Declare(name, kKinds[kind], info->type, info->multi, info->name) < 0) {
        std::string message = "Script field " + std::string(name) + " declared twice; left out";
        ParseError(message.c_str());
    }
}

// ---------------------------------------------------------------------------
// PROTO instances

void VrmlLoader::Builder::ReportOnce(const std::string& key, const std::string& message, int line) {
    if (!m_reportedOnce.insert(key).second) return;
    ++m_errorCount;
    if (m_errors) *m_errors << "Error near line " << line << InFile() << ": " << message << "\n";
}

void VrmlLoader::Builder::Record(TapeOp::Kind kind, std::string a, std::string b, std::string c,
                                 std::string d) {
    TapeOp op(kind);
    op.a = std::move(a);
    op.b = std::move(b);
    op.c = std::move(c);
    op.d = std::move(d);
    RecordOp(std::move(op));
}

void VrmlLoader::Builder::RecordOp(TapeOp op) {
    if (m_protoStack.empty() || !m_protoStack.front()->definition) return;
    op.line = m_lex ? m_lex->lineNumber : 0;
    m_protoStack.front()->definition->tape.push_back(std::move(op));
}

void VrmlLoader::Builder::BindIs(const char* name) {
    if (!Recording()) {
        std::string message = "IS " + std::string(name) + " outside of a prototype ignored";
        ParseError(message.c_str());
        return;
    }
    const VrmlNodeType& proto = *m_protoStack.back();
    auto typeOf = [](const VrmlNodeType& type, std::string_view field) {
        if (int token = type.HasField(field)) return token;
        if (int token = type.HasEventIn(field)) return token;
        return type.HasEventOut(field);
    };
    int ifaceType = typeOf(proto, name);
    if (ifaceType == 0) {
        std::string message = m_currentFieldName + " IS " + name + ": PROTO " + proto.GetName() +
                              " has no field " + name;
        ParseError(message.c_str());
        return;
    }
    const VrmlNodeType* type = m_fieldRecords.empty() ? nullptr : m_fieldRecords.back().type;
    int fieldType = type ? typeOf(*type, m_currentFieldName) : 0;
    if (fieldType != 0 && fieldType != ifaceType) {
        std::string message =
            m_currentFieldName + " IS " + name + ": the two fields have different types";
        ParseError(message.c_str());
        return;
    }
    Record(TapeOp::kIs, name);
    m_lastWasIs = true;
}

void VrmlLoader::Builder::Play(const TapeOp& op) {
    m_playLex.lineNumber = op.line;
    switch (op.kind) {
        case TapeOp::kEnterNode:
            EnterNode(op.a.c_str());
            m_playLex.skipNodeBody = false;
            break;
        case TapeOp::kExitNode:
            ExitNode();
            break;
        case TapeOp::kUse:
            UseNode(op.a.c_str());
            break;
        case TapeOp::kDef:
            SetPendingDef(op.a.c_str());
            break;
        case TapeOp::kEnterField:
            EnterField(op.a.c_str());
            break;
        case TapeOp::kValue:
            op.value->LoadInto(m_playLex);
            m_valueKind = op.value->kind;
            StoreValue();
            break;
        case TapeOp::kExitField:
            ExitField();
            break;
        case TapeOp::kIs:
            if (Recording())
                BindIs(op.a.c_str());
            else
                ApplyIs(op.a);
            break;
        case TapeOp::kRoute:
            AddRoute(op.a.c_str(), op.b.c_str(), op.c.c_str(), op.d.c_str());
            break;
        case TapeOp::kBeginProto:
            BeginProto(op.a.c_str());
            break;
        case TapeOp::kAddToProto:
            op.value->LoadInto(m_playLex);
            m_valueKind = op.value->kind;
            AddToProto(static_cast<Declaration>(op.declaration), op.b.c_str(), op.c.c_str());
            break;
        case TapeOp::kEndProto:
            EndProto();
            break;
        case TapeOp::kEndExternProto:
            op.value->LoadInto(m_playLex);
            EndExternProto();
            break;
        case TapeOp::kDeclare:
            DeclareField(static_cast<Declaration>(op.declaration), op.b.c_str(), op.c.c_str());
            break;
    }
}

std::vector<NodePtr> VrmlLoader::Builder::PlayBack(const std::vector<TapeOp>& ops,
                                                   std::size_t begin, std::size_t end) {
    // A level of its own on the stacks: the text's top-level nodes gather in a sink.
    const std::size_t nodes = m_nodeStack.size();
    const std::size_t records = m_fieldRecords.size();
    const std::size_t names = m_nodeNameStack.size();
    const std::size_t fields = m_fieldNameStack.size();
    const std::size_t instances = m_instances.size();
    const std::size_t protos = m_protoStack.size();
    std::string fieldName = m_currentFieldName;
    std::string typeName = m_currentTypeName;
    int valueKind = m_valueKind;
    m_nodeStack.emplace_back();
    m_fieldRecords.push_back({});
    m_nodeNameStack.emplace_back();
    m_sinks.push_back({nodes, {}});
    LexState* lex = m_lex;
    m_lex = &m_playLex;
    ++m_playDepth;
    for (std::size_t i = begin; i < end && i < ops.size(); ++i) Play(ops[i]);
    --m_playDepth;
    m_lex = lex;
    std::vector<NodePtr> result = std::move(m_sinks.back().nodes);
    m_sinks.pop_back();
    m_nodeStack.resize(nodes);
    m_fieldRecords.resize(records);
    m_nodeNameStack.resize(names);
    m_fieldNameStack.resize(fields);
    m_instances.resize(instances);
    m_protoStack.resize(protos);
    m_currentFieldName = std::move(fieldName);
    m_currentTypeName = std::move(typeName);
    m_valueKind = valueKind;
    return result;
}

void VrmlLoader::Builder::ApplyIs(const std::string& name) {
    if (m_expansions.empty()) return;
    Expansion& expansion = m_expansions.back();
    const ProtoDefinition& definition = *expansion.instance.definition;
    const std::string field = m_currentFieldName;
    Instance* target = InstanceAtTop();
    SingleNode* node = CurrentNode();
    if (int token = definition.iface.HasField(name)) {
        auto slot = expansion.instance.slots.find(name);
        const Slot* given =
            slot != expansion.instance.slots.end() && slot->second.given ? &slot->second : nullptr;
        auto fallback = definition.defaults.find(name);
        const ProtoDefinition::Default* initial =
            fallback == definition.defaults.end() ? nullptr : &fallback->second;
        if (IsNodeToken(token)) {
            std::vector<NodePtr> nodes;
            if (given)
                nodes = given->nodes;
            else if (initial)
                nodes = PlayBack(initial->nodeOps, 0, initial->nodeOps.size());
            if (target) target->slots[field].given = true;
            for (const NodePtr& entry : nodes) AttachNode(entry, field);
        } else {
            const ValueSnapshot* value = given     ? &given->value
                                         : initial ? &initial->value
                                                   : nullptr;
            if (value && value->kind != 0) {
                value->LoadInto(*m_lex);
                m_valueKind = value->kind;
                StoreValue();
            }
        }
    }
    if (target) {
        target->forwards.emplace_back(field, name);
    } else if (node) {
        int index = FindRouteField(node, field);
        if (index >= 0) expansion.bindings[name].push_back({NodePtr(node), index});
    }
}

void VrmlLoader::Builder::Expand(Instance instance) {
    const std::shared_ptr<ProtoDefinition> definition = instance.definition;
    const std::string& name = instance.name;
    for (const Expansion& open : m_expansions)
        if (open.instance.definition == definition) {
            ReportOnce("self " + name,
                       "PROTO " + name + " contains an instance of itself, which is left out",
                       instance.line);
            return;
        }
    if (static_cast<int>(m_outerExpansions + m_expansions.size()) >= kMaxProtoDepth) {
        ReportOnce("depth", "PROTO instances nested more than 32 deep are left out", instance.line);
        return;
    }
    if (++m_expansionCount > kMaxExpansions) {
        ReportOnce("count", "too many PROTO instances; the rest are left out", instance.line);
        return;
    }
    const std::size_t enclosing = m_expansions.size();
    m_expansions.push_back({std::move(instance), {}});
    // DEF names inside the body belong to this instance alone.
    auto defs = std::exchange(m_defTable, {});
    auto defNames = std::exchange(m_defNames, {});
    // A PROTO of another file is read in that file's namespace and place.
    NestedFile* home = definition->home;
    const bool away = home != nullptr && home != m_currentNested;
    std::vector<std::unique_ptr<VrmlNodeType>> scopes;
    std::string file;
    NestedFile* nested = m_currentNested;
    if (away) {
        scopes = m_registry.TakeScopes();
        m_registry.RestoreScopes(std::move(home->types));
        file = std::exchange(m_currentFile, home->path);
        m_currentNested = home;
    }
    m_registry.PushNameSpace();
    std::vector<NodePtr> nodes =
        PlayBack(definition->tape, definition->bodyStart, definition->tape.size());
    m_registry.PopNameSpace();
    if (away) {
        home->types = m_registry.TakeScopes();
        m_registry.RestoreScopes(std::move(scopes));
        m_currentFile = std::move(file);
        m_currentNested = nested;
    }
    m_defTable = std::move(defs);
    m_defNames = std::move(defNames);
    Expansion done = std::move(m_expansions.back());
    m_expansions.pop_back();

    // Fields bound to the enclosing instance's interface pass their bindings on.
    if (enclosing > 0) {
        Expansion& outer = m_expansions[enclosing - 1];
        for (const auto& [inner, outerName] : done.instance.forwards) {
            auto it = done.bindings.find(inner);
            if (it == done.bindings.end()) continue;
            auto& list = outer.bindings[outerName];
            list.insert(list.end(), it->second.begin(), it->second.end());
        }
    }
    if (nodes.empty()) return;
    // The first node stands for the instance; the others run beside it, undrawn.
    AttachNode(nodes.front(), done.instance.parentField);
    for (std::size_t i = 1; i < nodes.size(); ++i) KeepExtra(nodes[i]);
    if (!done.instance.defName.empty()) {
        m_defNames.push_back(done.instance.defName);
        m_defTable.insert_or_assign(done.instance.defName, nodes.front());
        m_instanceInterfaces[nodes.front().Get()] = {definition, std::move(done.bindings)};
    }
}

void VrmlLoader::Builder::KeepExtra(const NodePtr& node) {
    if (!node || !m_root) return;
    std::string typeName;
    GetNodeTypeName(GetNodeType(*node), typeName);
    if (DrawsNothing(typeName)) {
        int index = AttachIndex(m_root.Get(), "");
        if (index >= 0) m_root->SetField(index, node.Get());
        return;
    }
    if (!m_hidden) {
        m_hidden = NodePtr::Adopt(CreateNode(GetNodeTypeFromName("Switch")));
        int index = AttachIndex(m_root.Get(), "");
        if (index >= 0) m_root->SetField(index, m_hidden.Get());
    }
    int index = FieldIndex(m_hidden.Get(), "choice");
    if (index >= 0) m_hidden->SetField(index, node.Get());
}

// ---------------------------------------------------------------------------
// Inline and EXTERNPROTO files

struct VrmlLoader::Builder::SavedParse {
    std::vector<NodePtr> nodeStack;
    std::vector<std::string> nodeNames;
    std::vector<FieldRecord> records;
    std::vector<std::string> fieldNames;
    std::string fieldName, typeName, pendingDefName, file;
    FieldValue pending;
    int valueKind = 0;
    bool pendingDef = false, use = false, lastWasIs = false;
    int playDepth = 0;
    std::vector<std::unique_ptr<ProtoType>> protos;
    std::vector<Instance> instances;
    std::vector<Expansion> expansions;
    std::vector<Sink> sinks;
    LexState* lex = nullptr;
    std::map<std::string, NodePtr, std::less<>> defs;
    std::vector<std::string> defNames;
    std::set<std::string, std::less<>> unknown;
    NestedFile* nested = nullptr;
    std::size_t outerExpansions = 0;
    std::vector<std::unique_ptr<VrmlNodeType>> scopes;
};

VrmlLoader::Builder::SavedParse VrmlLoader::Builder::SaveParse() {
    SavedParse saved;
    saved.nodeStack = std::exchange(m_nodeStack, {});
    saved.nodeNames = std::exchange(m_nodeNameStack, {});
    saved.records = std::exchange(m_fieldRecords, {});
    saved.fieldNames = std::exchange(m_fieldNameStack, {});
    saved.fieldName = std::exchange(m_currentFieldName, {});
    saved.typeName = std::exchange(m_currentTypeName, {});
    saved.pendingDefName = std::exchange(m_pendingDefName, {});
    saved.file = m_currentFile;
    saved.pending = std::exchange(m_pending, {});
    saved.valueKind = std::exchange(m_valueKind, 0);
    saved.pendingDef = std::exchange(m_pendingDefFlag, false);
    saved.use = std::exchange(m_useFlag, false);
    saved.lastWasIs = std::exchange(m_lastWasIs, false);
    saved.playDepth = std::exchange(m_playDepth, 0);
    saved.protos = std::exchange(m_protoStack, {});
    saved.instances = std::exchange(m_instances, {});
    saved.expansions = std::exchange(m_expansions, {});
    saved.sinks = std::exchange(m_sinks, {});
    saved.lex = m_lex;
    saved.defs = std::exchange(m_defTable, {});
    saved.defNames = std::exchange(m_defNames, {});
    saved.unknown = std::exchange(m_reportedUnknown, {});
    saved.nested = m_currentNested;
    saved.outerExpansions = m_outerExpansions;
    m_outerExpansions += saved.expansions.size();
    saved.scopes = m_registry.TakeScopes();
    return saved;
}

void VrmlLoader::Builder::RestoreParse(SavedParse&& saved) {
    m_nodeStack = std::move(saved.nodeStack);
    m_nodeNameStack = std::move(saved.nodeNames);
    m_fieldRecords = std::move(saved.records);
    m_fieldNameStack = std::move(saved.fieldNames);
    m_currentFieldName = std::move(saved.fieldName);
    m_currentTypeName = std::move(saved.typeName);
    m_pendingDefName = std::move(saved.pendingDefName);
    m_currentFile = std::move(saved.file);
    m_pending = std::move(saved.pending);
    m_valueKind = saved.valueKind;
    m_pendingDefFlag = saved.pendingDef;
    m_useFlag = saved.use;
    m_lastWasIs = saved.lastWasIs;
    m_playDepth = saved.playDepth;
    m_protoStack = std::move(saved.protos);
    m_instances = std::move(saved.instances);
    m_expansions = std::move(saved.expansions);
    m_sinks = std::move(saved.sinks);
    m_lex = saved.lex;
    m_defTable = std::move(saved.defs);
    m_defNames = std::move(saved.defNames);
    m_reportedUnknown = std::move(saved.unknown);
    m_currentNested = saved.nested;
    m_outerExpansions = saved.outerExpansions;
    m_registry.RestoreScopes(std::move(saved.scopes));
}

std::string VrmlLoader::Builder::FileKey(const std::string& path) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

NestedFile* VrmlLoader::Builder::ReadNested(const std::string& path, int line, bool* refused) {
    const std::string key = FileKey(path);
    if (refused) *refused = false;
    if (std::find(m_fileChain.begin(), m_fileChain.end(), key) != m_fileChain.end()) {
        if (refused) *refused = true;
        ReportOnce("cycle " + key, "\"" + path + "\" is being read already (a cycle), left out",
                   line);
        return nullptr;
    }
    if (auto it = m_files.find(key); it != m_files.end()) return it->second.get();
    if (static_cast<int>(m_fileChain.size()) > kMaxFileDepth) {
        if (refused) *refused = true;
        ReportOnce("file depth", "files nested more than 32 deep are left out", line);
        return nullptr;
    }
    // Only regular files: a device or a pipe named by a url could be endless.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    SceneSource source(path);
    if (!source.IsOpen()) return nullptr;
    auto owned = std::make_unique<NestedFile>();
    NestedFile* file = owned.get();
    file->path = path;
    file->group = NodePtr::Adopt(CreateNode(GetNodeTypeFromName("Group")));
    m_files.emplace(key, std::move(owned));

    SavedParse saved = SaveParse();
    const std::size_t routes = m_routes.size();
    m_nodeStack.push_back(file->group);
    m_currentFile = path;
    m_currentNested = file;
    m_fileChain.push_back(key);
    m_registry.PushNameSpace();
    Parse(nullptr, {}, &source);
    // The file's namespace stays with it, for the bodies of its PROTOs.
    file->types = m_registry.TakeScopes();
    m_fileChain.pop_back();
    file->routes.assign(m_routes.begin() + static_cast<std::ptrdiff_t>(routes), m_routes.end());
    m_routes.resize(routes);
    RestoreParse(std::move(saved));
    source.Finish();
    if (!source.Error().empty())
        ReportOnce("read " + key,
                   "\"" + path + "\" could not be read to its end: " + source.Error(), line);
    return file;
}

NodePtr VrmlLoader::Builder::LoadInline(const std::vector<std::string>& urls, int line) {
    if (urls.empty()) return {};
    std::string tried;
    for (const std::string& url : urls) {
        tried += " \"" + url + "\"";
        // A fragment (a viewpoint's name) does not change the file.
        const std::string path = ResolveUrl(m_currentFile, url.substr(0, url.find('#')));
        if (path.empty()) continue;
        bool refused = false;
        NestedFile* file = ReadNested(path, line, &refused);
        if (refused) return {};  // a cycle or too deep: said
        if (file == nullptr) continue;
        if (!file->routesJoined) {
            m_routes.insert(m_routes.end(), file->routes.begin(), file->routes.end());
            file->routesJoined = true;
        }
        return file->group;
    }
    ReportOnce("inline " + m_currentFile + std::to_string(line) + tried,
               "Inline: no file could be read at" + tried + ", left out", line);
    return {};
}

std::shared_ptr<ProtoDefinition> VrmlLoader::Builder::FindExternProto(
    ProtoType& type, const std::vector<std::string>& urls, int line) {
    std::shared_ptr<ProtoDefinition> found;
    std::string tried;
    for (const std::string& url : urls) {
        tried += " \"" + url + "\"";
        const std::size_t hash = url.find('#');
        const std::string file = url.substr(0, hash);
        const std::string name = hash == std::string::npos ? "" : url.substr(hash + 1);
        if (file.empty()) {
            // "#Name": a PROTO declared before in the same file.
            auto* proto = AsProto(m_registry.Find(name));
            if (proto && proto != &type) found = proto->definition;
        } else if (NestedFile* nested = ReadNested(ResolveUrl(m_currentFile, file), line)) {
            for (const auto& [protoName, definition] : nested->protos)
                if (name.empty() || protoName == name) {
                    found = definition;
                    break;
                }
        }
        if (found) break;
    }
    if (!found) {
        ReportOnce("extern " + m_currentFile + std::to_string(line) + type.GetName(),
                   "EXTERNPROTO " + type.GetName() + ": no PROTO found at" + tried +
                       ", its instances are left out",
                   line);
        return nullptr;
    }
    // Fields declared unlike the PROTO found are dropped from the instances.
    const VrmlNodeType& real = found->iface;
    std::string unlike;
    auto check = [&](const std::vector<VrmlNodeType::Interface>& list,
                     int (VrmlNodeType::*has)(std::string_view) const) {
        for (const auto& field : list)
            if ((real.*has)(field.name) != field.type && type.ignored.insert(field.name).second)
                unlike += " " + field.name;
    };
    check(type.Fields(), &VrmlNodeType::HasField);
    check(type.EventIns(), &VrmlNodeType::HasEventIn);
    check(type.EventOuts(), &VrmlNodeType::HasEventOut);
    if (!unlike.empty())
        ReportOnce("extern fields " + m_currentFile + std::to_string(line) + type.GetName(),
                   "EXTERNPROTO " + type.GetName() +
                       " declares fields unlike its PROTO, which are ignored:" + unlike,
                   line);
    return found;
}

void VrmlLoader::Builder::EndExternProto() {
    std::vector<std::string> urls;
    if (m_lex) {
        urls = std::move(m_lex->strings);
        m_lex->ClearValues();
    }
    m_valueKind = 0;
    const int line = m_lex ? m_lex->lineNumber : 0;
    // Inside a PROTO body it is found again for each instance, with its urls.
    if (m_inScene && m_protoStack.size() > 1) {
        TapeOp op(TapeOp::kEndExternProto);
        ValueSnapshot value;
        value.kind = kValueMFString;
        value.strings = urls;
        op.value = std::make_shared<ValueSnapshot>(std::move(value));
        RecordOp(std::move(op));
    }
    std::unique_ptr<ProtoType> type = PopProto(true);
    if (!type) return;
    // A scene's EXTERNPROTO stands for the PROTO its urls name (one inside a
    // PROTO body is found when the body is made); in the declarations file
    // it declares an interface only.
    if (m_inScene && m_protoStack.empty()) type->definition = FindExternProto(*type, urls, line);
    if (m_currentNested && m_protoStack.empty() && m_playDepth == 0 && type->definition)
        m_currentNested->protos.emplace_back(type->GetName(), type->definition);
    m_registry.AddToNameSpace(std::move(type));
}
