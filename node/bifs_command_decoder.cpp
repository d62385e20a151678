#include "node/bifs_command_decoder.h"

#include <cstdio>

#include "node/bifs_errors.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/node_impl.h"
#include "node/outstream.h"
#include "node/scenetree.h"

namespace {

constexpr std::uint32_t kSceneReplace = 3;

// One end of a ROUTE, as written: the node ID in 32 bits, then the field's
// index in the node's OUT (`out`) or IN numbering, in as many bits as that
// numbering needs.
struct RouteEnd {
    const char* kind;
    int (SingleNode::*count)() const;
};
constexpr RouteEnd kOutEnd{"eventOut", &SingleNode::GetOUTCount};
constexpr RouteEnd kInEnd{"eventIn", &SingleNode::GetINCount};

bool ReadRouteEnd(CBIFS_InStream& in, const SceneTree& tree, const RouteEnd& end, std::uint32_t& id,
                  int& field) {
    const std::uint64_t at = in.BitPosition();
    id = in.ReadBits(32);
    if (in.HasError()) return false;
    SingleNode* node = tree.Lookup(id);
    if (node == nullptr) {
        in.Fail(at, bifs_error::NotDefined(id));
        return false;
    }
    const int count = (node->*end.count)();
    const std::uint64_t fieldAt = in.BitPosition();
    const std::uint32_t index = in.ReadBits(static_cast<std::uint8_t>(FieldIndexBits(count)));
    if (in.HasError()) return false;
    if (index >= static_cast<std::uint32_t>(count)) {
        in.Fail(fieldAt,
                bifs_error::RouteFieldOutOfRange(end.kind, index, GetNodeType(*node), count));
        return false;
    }
    field = static_cast<int>(index);
    return true;
}

bool ReadRoute(CBIFS_InStream& in, const SceneTree& tree, std::vector<SceneTree::Route>& routes) {
    if (in.ReadBits(1) == 1) in.ReadBits(32);  // isUpdateable: a route ID, which text cannot keep
    SceneTree::Route route{};
    if (!ReadRouteEnd(in, tree, kOutEnd, route.fromId, route.outField) ||
        !ReadRouteEnd(in, tree, kInEnd, route.toId, route.inField))
        return false;
    routes.push_back(route);
    return true;
}

}  // namespace

// ---- CCommadEncoder ----

HRESULT CCommadEncoder::Fail(std::string why) {
    m_error = std::move(why);
    return node::kFailCode;
}

HRESULT CCommadEncoder::EncodeSceneReplace() {
    m_error.clear();
    SingleNode* root = nullptr;
    if (m_stream == nullptr || m_tree == nullptr) return Fail("no stream or no scene");
    m_tree->GetRoot(&root);
    if (root == nullptr) return Fail("the scene is empty");
    // A new pass: every node's visit count starts again from 0 at its first
    // visit, whatever earlier passes or references from outside the tree
    // (a loader's DEF table, the scene tree's registry) left behind.
    SingleNode::EncodingPass pass;
    m_stream->SetNodeDepth(TopNodeExtraLevels(GetNodeType(*root), root->GetNodeID()));
    m_stream->WriteBits(kSceneReplace, 2);
    m_stream->WriteBits(0, 8);  // scene header: reserved bits, USENAMES 0
    if (root->EncodeNode(*m_stream, NDT_SFTopNode) != node::kOk) {
        m_stream->LocateError("the top node");
        return Fail(m_stream->ErrorText().empty() ? "the scene cannot be encoded"
                                                  : m_stream->ErrorText());
    }
    if (EncodeRoutes() != node::kOk) return node::kFailCode;
    m_stream->WriteBits(0, 64);
    m_stream->WriteBits(0, 64);
    return node::kOk;
}

HRESULT CCommadEncoder::EncodeRoutes() {
    const std::vector<SceneTree::Route>& routes = m_tree->Routes();
    m_stream->WriteBits(routes.empty() ? 0 : 1, 1);  // hasROUTEs
    if (routes.empty()) return node::kOk;
    m_stream->WriteBits(1, 1);  // list form
    for (std::size_t i = 0; i < routes.size(); ++i) {
        const SceneTree::Route& r = routes[i];
        const std::string which = "ROUTE " + std::to_string(i + 1) + ": ";
        m_stream->WriteBits(0, 1);  // isUpdateable: no route ID
        const std::pair<const RouteEnd*, std::pair<std::uint32_t, int>> ends[2] = {
            {&kOutEnd, {r.fromId, r.outField}}, {&kInEnd, {r.toId, r.inField}}};
        for (const auto& [end, ref] : ends) {
            SingleNode* node = m_tree->Lookup(ref.first);
            if (node == nullptr) return Fail(which + bifs_error::NotDefined(ref.first));
            const int count = (node->*end->count)();
            if (ref.second < 0 || ref.second >= count)
                return Fail(which + bifs_error::RouteFieldOutOfRange(
                                        end->kind, static_cast<std::uint32_t>(ref.second),
                                        GetNodeType(*node), count));
            m_stream->WriteBits(ref.first, 32);
            const int bits = FieldIndexBits(count);
            if (bits > 0)
                m_stream->WriteBits(static_cast<std::uint32_t>(ref.second),
                                    static_cast<std::uint8_t>(bits));
        }
        m_stream->WriteBits(i + 1 < routes.size() ? 1 : 0, 1);  // another route follows
    }
    return node::kOk;
}

HRESULT CCommadEncoder::EncodeToFile(const char* fileName, SceneTree* tree) {
    m_error.clear();
    SingleNode* root = nullptr;
    if (fileName == nullptr) return Fail("no file name");
    if (tree == nullptr || (tree->GetRoot(&root), root == nullptr))
        return Fail("the scene is empty");
    // Encoded in memory first, so that a refusal leaves no file behind.
    std::vector<std::uint8_t> bytes;
    if (EncodeToMemory(tree, bytes) != node::kOk) return node::kFailCode;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return Fail(std::string("cannot write ") + fileName);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::remove(fileName);
        return Fail(std::string("cannot write ") + fileName);
    }
    return node::kOk;
}

HRESULT CCommadEncoder::EncodeToMemory(SceneTree* tree, std::vector<std::uint8_t>& bytes) {
    OutToMemory out;
    m_stream = &out;
    m_tree = tree;
    HRESULT hr = EncodeSceneReplace();
    m_stream = nullptr;
    if (hr != node::kOk) return hr;
    bytes = out.Finish();
    return node::kOk;
}

// ---- CCommandDecoder ----

HRESULT CCommandDecoder::Fail(std::string why) {
    m_error = std::move(why);
    return node::kFailCode;
}

HRESULT CCommandDecoder::DecodeFile(const char* fileName, SceneTree* tree) {
    m_error.clear();
    if (fileName == nullptr || tree == nullptr) return Fail("no file name");
    m_ownedStream = std::make_unique<CBIFS_InStream>(fileName);
    if (!m_ownedStream->HasData()) return Fail(std::string("cannot read ") + fileName);
    return DecodeStream(m_ownedStream.get(), tree);
}

HRESULT CCommandDecoder::DecodeStream(CBIFS_InStream* stream, SceneTree* tree) {
    if (stream == nullptr || tree == nullptr) return Fail("no stream");
    m_stream = stream;
    m_tree = tree;
    return DecodeCommand();
}

HRESULT CCommandDecoder::DecodeCommand() {
    m_error.clear();
    std::uint32_t code = m_stream->ReadBits(2);
    if (m_stream->HasError()) return Fail("the stream ends before its first command");
    if (code != kSceneReplace) return Fail(bifs_error::UnsupportedCommand(code));
    return DecodeSceneReplace();
}

HRESULT CCommandDecoder::DecodeSceneReplace() {
    auto failed = [this] { return Fail(m_stream->ErrorText()); };
    m_stream->SkipBits(8);  // scene header
    if (m_stream->ReadBits(1) == 1) {
        // isReused: the top node cannot be a reference, as no node is defined before it.
        const std::uint64_t at = m_stream->BitPosition();
        const std::uint32_t id = m_stream->ReadBits(32);
        if (!m_stream->HasError()) m_stream->Fail(at, bifs_error::NotDefined(id));
        return failed();
    }
    const int type = TopNodeType(m_stream->ReadBits(2));
    if (m_stream->HasError()) return failed();
    if (m_tree->ReplaceScene(type, *m_stream) != node::kOk || m_stream->HasError()) return failed();
    if ((m_stream->ReadBits(1) == 1 && DecodeRoutes() != node::kOk) || m_stream->HasError()) {
        // Nothing of a refused stream stays in the tree.
        m_tree->SetRoot(nullptr);
        m_tree->SetRoutes({});
        return failed();
    }
    return node::kOk;
}

HRESULT CCommandDecoder::DecodeRoutes() {
    std::vector<SceneTree::Route> routes;
    const std::uint64_t at = m_stream->BitPosition();
    if (m_stream->ReadBits(1) == 1) {
        // List form: each route, then 1 when another follows.
        do {
            if (!ReadRoute(*m_stream, *m_tree, routes)) return node::kFailCode;
        } while (m_stream->ReadBits(1) == 1 && !m_stream->HasError());
    } else {
        // Vector form: a 5-bit width, a count of that many bits, the routes.
        auto width = static_cast<std::uint8_t>(m_stream->ReadBits(5));
        const std::uint64_t count = m_stream->ReadBits(width);
        if (m_stream->HasError()) return node::kFailCode;
        if (count > m_stream->BitsLeft()) {
            m_stream->Fail(at, bifs_error::CountPastEnd(count));
            return node::kFailCode;
        }
        for (std::uint64_t i = 0; i < count; ++i)
            if (!ReadRoute(*m_stream, *m_tree, routes)) return node::kFailCode;
    }
    if (m_stream->HasError()) return node::kFailCode;
    m_tree->SetRoutes(std::move(routes));
    return node::kOk;
}
