#include "node/bifs_command_decoder.h"

#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/outstream.h"
#include "node/scenetree.h"

namespace {

constexpr std::uint32_t kSceneReplace = 3;

}  // namespace

// ---- CCommadEncoder ----

HRESULT CCommadEncoder::EncodeSceneReplace() {
    SingleNode* root = nullptr;
    if (m_stream == nullptr || m_tree == nullptr) return node::kFailCode;
    m_tree->GetRoot(&root);
    if (root == nullptr) return node::kFailCode;
    // A new pass: every node's visit count starts again from 0 at its first
    // visit, whatever earlier passes or references from outside the tree
    // (a loader's DEF table, the scene tree's registry) left behind.
    SingleNode::EncodingPass pass;
    m_stream->WriteBits(kSceneReplace, 2);
    m_stream->WriteBits(0, 8);  // scene header: reserved bits, USENAMES 0
    root->EncodeNode(*m_stream, NDT_SFTopNode);
    m_stream->WriteBits(0, 1);  // no ROUTEs
    m_stream->WriteBits(0, 64);
    m_stream->WriteBits(0, 64);
    return node::kOk;
}

HRESULT CCommadEncoder::EncodeToFile(const char* fileName, SceneTree* tree) {
    SingleNode* root = nullptr;
    if (fileName == nullptr || tree == nullptr || (tree->GetRoot(&root), root == nullptr))
        return node::kFailCode;
    OutToFile out(fileName);
    m_stream = &out;
    m_tree = tree;
    HRESULT hr = EncodeSceneReplace();
    m_stream = nullptr;
    return hr;  // `out` flushes and closes the file as it goes
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
    if (code != kSceneReplace) {
        static const char* const kNames[] = {"insertion", "deletion", "replacement"};
        return Fail(std::string("unsupported command: ") + kNames[code] + " (code " +
                    std::to_string(code) + "); only SceneReplace (3) is read");
    }
    return DecodeSceneReplace();
}

HRESULT CCommandDecoder::DecodeSceneReplace() {
    m_stream->SkipBits(8);                             // scene header
    m_stream->SkipBits(1);                             // the top node's isReused bit
    static const int kTopTypes[4] = {95, 46, 54, 55};  // Transform2D, Group, Layer2D, Layer3D
    int type = kTopTypes[m_stream->ReadBits(2)];
    if (m_stream->HasError()) return Fail("the stream ends inside the scene header");
    if (m_tree->ReplaceScene(type, *m_stream) != node::kOk || m_stream->HasError())
        return Fail("malformed scene: the data does not describe a valid node tree");
    m_stream->ReadBits(1);  // hasROUTEs: none are read
    if (m_stream->HasError()) return Fail("the stream ends before its route flag");
    return node::kOk;
}
