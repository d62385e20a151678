// The BIFS command coder: CCommadEncoder writes a scene tree as one
// SceneReplace command; CCommandDecoder reads such a command back into a
// scene tree. These are the system's BIFS export and import operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "node/result.h"

class CBIFS_InStream;
class OutStream;
class SceneTree;
class SingleNode;

class CCommadEncoder {
  public:
    virtual ~CCommadEncoder() = default;

    // Writes the tree's SceneReplace command to `fileName`. node::kFailCode,
    // and no file touched, for a null name, an empty tree or a tree the
    // coding cannot carry; node::kFailCode too when the file cannot be
    // written (a file left half written is removed). GetError says why.
    HRESULT EncodeToFile(const char* fileName, SceneTree* tree);
    // The same command as bytes; node::kFailCode, and `bytes` untouched, for
    // an empty tree or one the coding cannot carry.
    HRESULT EncodeToMemory(SceneTree* tree, std::vector<std::uint8_t>& bytes);
    // Command code 3, the 8-bit scene header, the root in SFTopNode, the
    // ROUTEs (a 0 bit when there are none, else a 1 bit and the route list),
    // 128 zero bits. Uses the stream and tree set by the calls above.
    // Refuses, without a partial stream to use, what the coding cannot
    // carry: a string longer than 65,535 bytes, a node where its type does
    // not belong, nesting deeper than kMaxDecodeDepth levels, a ROUTE to a
    // node without an ID in the tree or to a field out of range.
    HRESULT EncodeSceneReplace();

    // Why the last call failed, naming the node and field ("" after success).
    const std::string& GetError() const { return m_error; }

  private:
    HRESULT Fail(std::string why);
    HRESULT EncodeRoutes();

    OutStream* m_stream = nullptr;
    SceneTree* m_tree = nullptr;
    std::string m_error;
};

class CCommandDecoder {
  public:
    // Maps `fileName` and decodes its command into `tree`. node::kFailCode for a null
    // name, a file that cannot be read, an unsupported command or malformed
    // data; GetError says why and at which bit ("node ID 7 not defined at
    // bit 130"). The tree is valid afterwards in every case.
    HRESULT DecodeFile(const char* fileName, SceneTree* tree);
    HRESULT DecodeStream(CBIFS_InStream* stream, SceneTree* tree);
    // Reads the 2-bit command code and runs the command (only SceneReplace, 3).
    HRESULT DecodeCommand();
    // The scene header, the top node (a reference there is refused: no node
    // is defined before it), and the ROUTEs when hasROUTEs is 1 (they are
    // given to the tree).
    HRESULT DecodeSceneReplace();

    const std::string& GetError() const { return m_error; }

  private:
    HRESULT Fail(std::string why);
    // The route list after a hasROUTEs bit of 1: list form (each route
    // followed by a 1 when another comes) or vector form (5-bit width, count).
    HRESULT DecodeRoutes();

    std::unique_ptr<CBIFS_InStream> m_ownedStream;
    CBIFS_InStream* m_stream = nullptr;
    SceneTree* m_tree = nullptr;
    std::string m_error;
};
