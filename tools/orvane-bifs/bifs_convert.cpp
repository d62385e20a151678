#include "tools/orvane-bifs/bifs_convert.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "loader/scene_source.h"
#include "loader/vrml_loader.h"
#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/declared_node.h"
#include "node/node_basenodedef.h"
#include "node/node_impl.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/vrml_writer.h"

namespace {

// Counts the places of every node and notes the order in which the encoder
// first meets each: fields in DEF order, list elements in list order, each
// subtree before the next sibling. (Depth is bounded by what the loader
// accepts, so plain recursion serves.)
void CountPlaces(SingleNode* node, std::unordered_map<SingleNode*, int>& places,
                 std::vector<SingleNode*>& order) {
    if (places[node]++ != 0) return;
    order.push_back(node);
    for (std::uint8_t i : node->GetDEFNodeFields()) {
        Field* field = node->GetDEFField(i);
        if (SingleNode* child = AsNode(field)) {
            CountPlaces(child, places, order);
        } else if (MultiNode* list = AsNodeList(field)) {
            for (SingleNode* element : list->Nodes()) CountPlaces(element, places, order);
        }
    }
}

// Gives node IDs 1, 2, ... in encoder order to the nodes with several
// places and to those of `named`.
int NumberNodes(std::unordered_map<SingleNode*, int>& places, const std::vector<SingleNode*>& order,
                const std::vector<SingleNode*>& named) {
    for (SingleNode* n : named)
        if (auto it = places.find(n); it != places.end() && it->second < 2) it->second = 2;
    std::uint32_t next = 0;
    for (SingleNode* n : order)
        if (places[n] > 1) n->SetNodeID(++next);
    return static_cast<int>(next);
}

bool Allowed(const NDTTable* table, SingleNode* node) {
    return table->count(GetNodeType(*node)) != 0;
}

// "<what> left out (<n> <unit>s): <why>", one line per kind, in the order
// the kinds were first met.
class LeftOut {
  public:
    void Add(const std::string& what, const std::string& why, const char* unit, int n = 1) {
        const std::string key = what + '\n' + why;
        auto [it, added] = m_counts.try_emplace(key, Entry{what, why, unit, 0});
        if (added) m_order.push_back(key);
        it->second.count += n;
    }
    void AppendTo(std::vector<std::string>& lines) const {
        for (const std::string& key : m_order) {
            const Entry& e = m_counts.at(key);
            lines.push_back(e.what + " left out (" + std::to_string(e.count) + " " + e.unit +
                            (e.count == 1 ? "" : "s") + "): " + e.why);
        }
    }

  private:
    struct Entry {
        std::string what, why;
        const char* unit;
        int count;
    };
    std::map<std::string, Entry> m_counts;
    std::vector<std::string> m_order;
};

void Prune(SingleNode* node, std::unordered_set<SingleNode*>& seen, LeftOut& out) {
    if (!seen.insert(node).second) return;
    for (std::uint8_t i : node->GetDEFNodeFields()) {
        const NDTTable* table = node->GetDEFFieldNDT(i);
        Field* field = node->GetDEFField(i);
        if (table == nullptr || field == nullptr) continue;
        auto report = [&](SingleNode* child) {
            const int type = GetNodeType(*node);
            std::string fieldName;
            node->GetDEFFieldName(i, fieldName);
            out.Add(VrmlNodeName(GetNodeType(*child)),
                    std::string("the ") + VrmlFieldName(type, fieldName.c_str()) + " of a " +
                        VrmlNodeName(type) + " take only " + GetNDTName(GetNDTOfTable(table)) +
                        " nodes",
                    "node");
        };
        if (MultiNode* list = AsNodeList(field)) {
            for (int k = list->GetCount() - 1; k >= 0; --k) {
                SingleNode* child = list->GetNodeAt(k);
                if (!Allowed(table, child)) {
                    report(child);
                    list->RemoveNodeAt(k);
                }
            }
            for (SingleNode* child : list->Nodes()) Prune(child, seen, out);
        } else if (SingleNode* child = AsNode(field)) {
            if (!Allowed(table, child)) {
                report(child);
                node->SetDEFField(i, nullptr);
            } else {
                Prune(child, seen, out);
            }
        }
    }
}

// The nodes of a scene's text that the loader cannot make, by type, in the
// order first met: types without a node class (Script, PixelTexture) and
// instances of PROTOs the scene does not declare; what stands inside them goes with them and is not
// counted. A node is a name followed by "{" (a PROTO's body follows "]"),
// found past comments and strings as the loader's scanner finds them.
class UnmadeNodes {
  public:
    explicit UnmadeNodes(std::string_view text) {
        std::string_view name;
        bool afterName = false;
        int depth = 0, skipFrom = 0;  // skipFrom: the depth of the node being passed over
        for (std::size_t i = 0, n = text.size(); i < n;) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '#') {  // a comment, to the end of the line
                const std::size_t end = text.find('\n', i);
                i = end == std::string_view::npos ? n : end;
            } else if (c == '"') {  // a string, with its \" and \\ escapes
                for (++i; i < n && text[i] != '"'; ++i)
                    if (text[i] == '\\') ++i;
                ++i;
                afterName = false;
            } else if (c <= 0x20 || c == ',') {
                ++i;
            } else if (c == '{') {
                ++depth;
                if (skipFrom == 0 && afterName && !Made(name)) {
                    Count(name);
                    skipFrom = depth;
                }
                afterName = false;
                ++i;
            } else if (c == '}') {
                if (depth == skipFrom) skipFrom = 0;
                --depth;
                afterName = false;
                ++i;
            } else {
                // A name, or another token (a number, a bracket, a dot) that
                // is not the name of a node.
                const std::size_t start = i++;
                while (i < n && IsNameRest(static_cast<unsigned char>(text[i]))) ++i;
                afterName = IsNameFirst(c);
                const std::string_view token = text.substr(start, i - start);
                // The loader makes instances of the PROTOs the scene declares.
                if (afterName && (name == "PROTO" || name == "EXTERNPROTO"))
                    m_made[std::string(token)] = true;
                name = token;
                if (!afterName && !IsNameRest(c)) i = start + 1;
            }
        }
    }
    const std::vector<std::pair<std::string, int>>& Counts() const { return m_counts; }

  private:
    // The character classes of the scanner's names.
    static bool IsNameRest(unsigned char c) {
        return c > 0x20 && c != 0x22 && c != 0x23 && c != 0x27 && c != 0x2c && c != 0x2e &&
               (c < 0x5b || c > 0x5d) && c != 0x7b && c != 0x7d && c != 0x7f;
    }
    static bool IsNameFirst(unsigned char c) {
        return IsNameRest(c) && (c < 0x2b || c > 0x2d) && (c < 0x30 || c > 0x39);
    }
    bool Made(std::string_view type) {
        auto known = m_made.find(std::string(type));
        if (known == m_made.end()) {
            const int id = GetNodeTypeFromName(std::string(type));
            known = m_made.emplace(std::string(type), id > 0 && GetNodeDesc(id) != nullptr).first;
        }
        return known->second;
    }
    void Count(std::string_view type) {
        for (auto& [name, count] : m_counts)
            if (name == type) return void(++count);
        m_counts.emplace_back(std::string(type), 1);
    }

    std::unordered_map<std::string, bool> m_made;  // type name -> has a node class
    std::vector<std::pair<std::string, int>> m_counts;
};

// A read-only view of a whole file (empty when it cannot be mapped).
class MappedFile {
  public:
    explicit MappedFile(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            void* view =
                mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (view != MAP_FAILED) {
                m_data = static_cast<const char*>(view);
                m_size = static_cast<std::size_t>(st.st_size);
            }
        }
        close(fd);
    }
    ~MappedFile() {
        if (m_data != nullptr) munmap(const_cast<char*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view Text() const { return {m_data, m_size}; }

  private:
    const char* m_data = nullptr;
    std::size_t m_size = 0;
};

// The index in the OUT (`out`) or IN numbering of ALL field `all`; -1 when
// the field has none (an eventIn has no OUT index, a field neither).
int RouteIndex(const SingleNode& node, int all, bool out) {
    const int count = out ? node.GetOUTCount() : node.GetINCount();
    for (int i = 0; i < count; ++i)
        if ((out ? node.OUTToAll(i) : node.INToAll(i)) == all) return i;
    return -1;
}

}  // namespace

SceneEncoder::SceneEncoder(std::string standardNodes) : m_standardNodes(std::move(standardNodes)) {}

SceneEncoder::~SceneEncoder() = default;

bool SceneEncoder::EncodeFile(const std::string& wrl, std::vector<std::uint8_t>& bifs,
                              std::string* error, std::vector<std::string>* warnings,
                              const EncodeOptions& options) {
    return Encode(&wrl, {}, bifs, error, warnings, options);
}

bool SceneEncoder::EncodeText(std::string_view text, std::vector<std::uint8_t>& bifs,
                              std::string* error, std::vector<std::string>* warnings,
                              const EncodeOptions& options) {
    return Encode(nullptr, text, bifs, error, warnings, options);
}

bool SceneEncoder::Encode(const std::string* path, std::string_view text,
                          std::vector<std::uint8_t>& bifs, std::string* error,
                          std::vector<std::string>* warnings, const EncodeOptions& options) {
    std::vector<std::string> notes;
    auto done = [&](bool ok, std::string why = {}) {
        if (warnings) *warnings = std::move(notes);
        if (!ok) *error = std::move(why);
        return ok;
    };
    // Every message of the loader is passed on; errors stop the encoding.
    std::ostringstream messages;
    auto takeMessages = [&](std::vector<std::string>& into) {
        std::string line;
        for (std::istringstream lines(messages.str()); std::getline(lines, line);)
            if (!line.empty()) into.push_back(line);
        messages.str("");
    };
    if (!m_loader) {
        std::string why;
        // The default name is looked up where the loader looks for it (the
        // working directory, the installed copy, the built-in one); a file
        // named on the command line must be a regular file.
        if (m_standardNodes != StandardNodesSource::kDefaultName &&
            ClassifyInput(m_standardNodes, &why) != InputKind::kFile)
            return done(false, "cannot read the declarations file " + why);
        auto loader = std::make_unique<VrmlLoader>();
        loader->SetErrorStream(&messages);
        loader->SetTraceStream(nullptr);
        loader->SetStandardNodesPath(m_standardNodes);
        // An Inline is written as the Inline node with its url, not its file's nodes.
        loader->SetReadInlines(false);
        loader->ResetParser();
        if (loader->LoadStandardNodes() != VrmlLoader::kLoadOk)
            return done(false, "cannot read the declarations file " + m_standardNodes);
        takeMessages(m_declarationNotes);
        m_loader = std::move(loader);
    }
    VrmlLoader& loader = *m_loader;
    notes = m_declarationNotes;
    loader.SetErrorStream(&messages);
    loader.ResetParser();
    const int errorsBefore = loader.GetErrorCount();
    const bool read = path == nullptr || loader.ParseSceneFile(*path) == VrmlLoader::kLoadOk;
    if (path == nullptr) loader.ParseSceneText(text);
    loader.SetErrorStream(nullptr);
    if (!read) return done(false, "cannot read " + *path);
    takeMessages(notes);
    const int errors = loader.GetErrorCount() - errorsBefore;
    if (errors > 0) {
        std::string firstError;
        for (const std::string& line : notes)
            if (line.starts_with("Error")) {
                firstError = line;
                break;
            }
        return done(false, std::to_string(errors) + " error(s) in the scene; first: " + firstError);
    }

    node::Ptr<SingleNode> root(loader.GetSceneRoot());
    // A lone top-level node that only the top of a scene takes (Layer2D)
    // becomes the root instead of being left out of the file's Group.
    if (MultiNode* top = AsNodeList(root->GetDEFField(0)); top != nullptr && top->GetCount() == 1) {
        SingleNode* only = top->GetNodeAt(0);
        if (TopNodeCode(GetNodeType(*only)) >= 0 && !Allowed(root->GetDEFFieldNDT(0), only))
            root = node::Ptr<SingleNode>(only);
    }
    // Scripts and PixelTextures have no BIFS node class; the scan of the text
    // below counts them.
    StripDeclaredNodes(root.Get());
    LeftOut leftOut;
    std::unordered_set<SingleNode*> seen;
    Prune(root.Get(), seen, leftOut);
    std::vector<std::pair<std::string, int>> unmade;
    if (path != nullptr) {
        const MappedFile file(*path);               // mapped only while it is scanned
        if (file.Text().starts_with("\x1f\x8b")) {  // gzip-compressed: scan its text
            SceneSource source(*path);
            std::vector<std::uint8_t> inflated;
            source.ReadAll(inflated, std::size_t{1} << 30);
            unmade = UnmadeNodes({reinterpret_cast<const char*>(inflated.data()), inflated.size()})
                         .Counts();
        } else {
            unmade = UnmadeNodes(file.Text()).Counts();
        }
    } else {
        unmade = UnmadeNodes(text).Counts();
    }
    for (const auto& [type, count] : unmade) {
        const int id = GetNodeTypeFromName(type);
        leftOut.Add(type,
                    id > 0 ? "Orvane has no node class for this type"
                           : "not a node type Orvane knows, nor a PROTO of the scene",
                    "node", count);
    }

    // ROUTEs: with --routes those whose ends are in the scene and are an
    // eventOut and an eventIn are written; every other one is counted.
    std::unordered_map<SingleNode*, int> places;
    std::vector<SingleNode*> order;
    places.reserve(seen.size());
    CountPlaces(root.Get(), places, order);
    struct Kept {
        SingleNode* from;
        int out;
        SingleNode* to;
        int in;
    };
    std::vector<Kept> kept;
    std::vector<SingleNode*> routed;
    for (const Route& r : loader.GetRouteList()) {
        if (!options.routes) {
            leftOut.Add("ROUTE", "ROUTEs are written only with --routes", "route");
            continue;
        }
        if (!places.count(r.fromNode.Get()) || !places.count(r.toNode.Get())) {
            leftOut.Add("ROUTE", "a node it joins is not in the encoded scene", "route");
            continue;
        }
        const int out = RouteIndex(*r.fromNode, r.fromField, true);
        const int in = RouteIndex(*r.toNode, r.toField, false);
        std::string name;
        if (out < 0 || in < 0) {
            SingleNode& n = out < 0 ? *r.fromNode : *r.toNode;
            n.GetFieldName(out < 0 ? r.fromField : r.toField, name);
            leftOut.Add("ROUTE",
                        std::string(VrmlNodeName(GetNodeType(n))) + "." +
                            VrmlFieldName(GetNodeType(n), name.c_str()) + " is not an " +
                            (out < 0 ? "eventOut" : "eventIn"),
                        "route");
            continue;
        }
        kept.push_back({r.fromNode.Get(), out, r.toNode.Get(), in});
        routed.push_back(r.fromNode.Get());
        routed.push_back(r.toNode.Get());
    }
    leftOut.AppendTo(notes);

    NumberNodes(places, order, routed);
    SceneTree tree;
    tree.SetRoot(root.Get());
    std::vector<SceneTree::Route> routes;
    for (const Kept& k : kept)
        routes.push_back({k.from->GetNodeID(), k.out, k.to->GetNodeID(), k.in});
    tree.SetRoutes(std::move(routes));
    CCommadEncoder encoder;
    if (encoder.EncodeToMemory(&tree, bifs) != node::kOk) return done(false, encoder.GetError());
    return done(true);
}

std::vector<std::string> PruneNodesOutsideTheirContext(SingleNode* root) {
    LeftOut leftOut;
    std::unordered_set<SingleNode*> seen;
    if (root != nullptr) Prune(root, seen, leftOut);
    std::vector<std::string> lines;
    leftOut.AppendTo(lines);
    return lines;
}

int AssignSharedNodeIds(SingleNode* root, const std::vector<SingleNode*>& named) {
    if (root == nullptr) return 0;
    std::unordered_map<SingleNode*, int> places;
    std::vector<SingleNode*> order;
    CountPlaces(root, places, order);
    return NumberNodes(places, order, named);
}

bool EncodeWrlFile(const std::string& wrl, const std::string& standardNodes,
                   std::vector<std::uint8_t>& bifs, std::string* error,
                   std::vector<std::string>* warnings, const EncodeOptions& options) {
    return SceneEncoder(standardNodes).EncodeFile(wrl, bifs, error, warnings, options);
}

bool EncodeWrlText(std::string_view text, const std::string& standardNodes,
                   std::vector<std::uint8_t>& bifs, std::string* error,
                   std::vector<std::string>* warnings, const EncodeOptions& options) {
    return SceneEncoder(standardNodes).EncodeText(text, bifs, error, warnings, options);
}

bool DecodeScene(const std::vector<std::uint8_t>& bifs, SceneTree& tree, std::string* error) {
    if (bifs.empty()) {
        *error = "the file is empty";
        return false;
    }
    if (bifs.size() > 0xFFFFFFFFu) {
        *error = "the stream is larger than 4 GiB";
        return false;
    }
    CBIFS_InStream in(bifs.data(), static_cast<std::uint32_t>(bifs.size()));
    CCommandDecoder decoder;
    if (decoder.DecodeStream(&in, &tree) != node::kOk) {
        *error = decoder.GetError();
        return false;
    }
    return true;
}

bool DecodeInput(const std::string& path, SceneTree& tree, std::string* error) {
    const std::string name = path == "-" ? "standard input" : path;
    std::string why;
    switch (ClassifyInput(path, &why)) {
        case InputKind::kRefused:
            *error = "cannot read " + why;
            return false;
        case InputKind::kStream: {
            std::vector<std::uint8_t> bytes;
            if (!ReadInput(path, bytes, error)) return false;
            if (DecodeScene(bytes, tree, &why)) return true;
            *error = name + ": " + why;
            return false;
        }
        case InputKind::kFile:
            break;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (st.st_size == 0) {
        *error = path + ": the file is empty";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxInputBytes) {
        *error = path + " holds more than " + std::to_string(kMaxInputBytes) +
                 " bytes, more than orvane-bifs reads";
        return false;
    }
    CCommandDecoder decoder;
    if (decoder.DecodeFile(path.c_str(), &tree) == node::kOk) return true;
    *error = path + ": " + decoder.GetError();
    return false;
}

bool WriteSceneText(const SceneTree& tree, std::FILE* file) {
    VrmlWriter writer(file);
    writer.WriteScene(tree);
    return writer.Finish();
}

bool DecodeToWrl(const std::vector<std::uint8_t>& bifs, std::string& wrl, std::string* error) {
    SceneTree tree;
    if (!DecodeScene(bifs, tree, error)) return false;
    wrl.clear();
    wrl.reserve(bifs.size() * 2);
    VrmlWriter(wrl).WriteScene(tree);
    return true;
}

// ---- Files ----

InputKind ClassifyInput(const std::string& path, std::string* error) {
    if (path == "-") return InputKind::kStream;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": " + std::strerror(errno);
        return InputKind::kRefused;
    }
    if (S_ISREG(st.st_mode)) return InputKind::kFile;
    if (S_ISDIR(st.st_mode)) {
        *error = path + ": it is a folder, not a file";
        return InputKind::kRefused;
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        *error = path + ": it is a device, not a file";
        return InputKind::kRefused;
    }
    return InputKind::kStream;  // a pipe or a socket
}

bool ReadInput(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* error,
               std::uint64_t limit) {
    std::string why;
    if (ClassifyInput(path, &why) == InputKind::kRefused) {
        *error = "cannot read " + why;
        return false;
    }
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : path;
    int fd = standardInput ? 0 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) <= limit)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    bool ok = true;
    std::uint8_t chunk[1 << 16];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = "cannot read " + name + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::uint64_t>(got) > limit) {
            *error = name + " holds more than " + std::to_string(limit) +
                     " bytes, more than orvane-bifs reads";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (!standardInput) close(fd);
    if (!ok) bytes.clear();
    return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    if (a == b) return true;
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool WriteOutput(const std::string& path, const void* data, std::size_t size, std::string* error) {
    const bool standardOutput = path == "-";
    std::FILE* file = standardOutput ? stdout : std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(data, 1, size, file) == size;
    ok = (standardOutput ? std::fflush(file) : std::fclose(file)) == 0 && ok;
    if (!ok) {
        *error = "cannot write " + (standardOutput ? std::string("standard output") : path);
        struct stat st {};
        if (!standardOutput && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            std::remove(path.c_str());
    }
    return ok;
}
