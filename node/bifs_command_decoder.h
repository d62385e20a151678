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

    // Writes the tree's SceneReplace command to `fileName`. node::kFailCode, and no
    // file touched, for a null name or an empty tree. (A file that cannot be
    // opened ends the process, as the bit writer does: callers that must
    // survive that check the path first or use EncodeToMemory.)
    HRESULT EncodeToFile(const char* fileName, SceneTree* tree);
    // The same command as bytes; node::kFailCode for an empty tree.
    HRESULT EncodeToMemory(SceneTree* tree, std::vector<std::uint8_t>& bytes);
    // Command code 3, the 8-bit scene header, the root in SFTopNode, no
    // routes, 128 zero bits. Uses the stream and tree set by the calls above.
    HRESULT EncodeSceneReplace();

  private:
    OutStream* m_stream = nullptr;
    SceneTree* m_tree = nullptr;
};

class CCommandDecoder {
  public:
    // Maps `fileName` and decodes its command into `tree`. node::kFailCode for a null
    // name, a file that cannot be read, an unsupported command or malformed
    // data; GetError says why. The tree is valid afterwards in every case.
    HRESULT DecodeFile(const char* fileName, SceneTree* tree);
    HRESULT DecodeStream(CBIFS_InStream* stream, SceneTree* tree);
    // Reads the 2-bit command code and runs the command (only SceneReplace, 3).
    HRESULT DecodeCommand();
    HRESULT DecodeSceneReplace();

    const std::string& GetError() const { return m_error; }

  private:
    HRESULT Fail(std::string why);

    std::unique_ptr<CBIFS_InStream> m_ownedStream;
    CBIFS_InStream* m_stream = nullptr;
    SceneTree* m_tree = nullptr;
    std::string m_error;
};
