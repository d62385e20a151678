// The conversions behind orvane-bifs, as functions the tests call too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "node/scenetree.h"

class SingleNode;

// Gives every node that stands in more than one place of the tree below
// `root`, and every node of `named` that stands in it, a node ID (1, 2, ... in
// the order the encoder first meets them) so that the sharing and the ROUTEs
// survive in the bitstream; other nodes keep ID 0. Returns how many.
int AssignSharedNodeIds(SingleNode* root, const std::vector<SingleNode*>& named = {});

// BIFS can only write a node where its context allows its node type (a
// NavigationInfo, say, cannot stand among a Group's children). Takes such
// nodes out of the tree below `root` and returns one line per node type and
// place with how many were taken out.
std::vector<std::string> PruneNodesOutsideTheirContext(SingleNode* root);

struct EncodeOptions {
    // Write the scene's ROUTEs (the route list of SceneReplace). Without it
    // the bits are those of a scene without ROUTEs, and the warnings say how
    // many were left out.
    bool routes = false;
};

class VrmlLoader;

// Encodes scenes with one loader that reads the declarations file once, at
// the first scene; the functions below make one for a single scene.
class SceneEncoder {
  public:
    explicit SceneEncoder(std::string standardNodes);
    ~SceneEncoder();
    SceneEncoder(const SceneEncoder&) = delete;
    SceneEncoder& operator=(const SceneEncoder&) = delete;
    // As EncodeWrlFile and EncodeWrlText.
    bool EncodeFile(const std::string& wrl, std::vector<std::uint8_t>& bifs, std::string* error,
                    std::vector<std::string>* warnings = nullptr,
                    const EncodeOptions& options = {});
    bool EncodeText(std::string_view text, std::vector<std::uint8_t>& bifs, std::string* error,
                    std::vector<std::string>* warnings = nullptr,
                    const EncodeOptions& options = {});

  private:
    bool Encode(const std::string* path, std::string_view text, std::vector<std::uint8_t>& bifs,
                std::string* error, std::vector<std::string>* warnings,
                const EncodeOptions& options);

    std::string m_standardNodes;
    std::unique_ptr<VrmlLoader> m_loader;         // once the declarations are read
    std::vector<std::string> m_declarationNotes;  // what the loader said about them
};

// Loads a VRML97 file (after `standardNodes`) and encodes it as one
// SceneReplace command. False with *error on failure, `bifs` untouched.
// `warnings` receives, in both cases, the loader's messages and one line per
// kind of thing left out (nodes outside their context, node types without a
// BIFS node class such as Script, ROUTEs) with how many.
bool EncodeWrlFile(const std::string& wrl, const std::string& standardNodes,
                   std::vector<std::uint8_t>& bifs, std::string* error,
                   std::vector<std::string>* warnings = nullptr, const EncodeOptions& options = {});
// The same for scene text held in memory (standard input, a pipe).
bool EncodeWrlText(std::string_view text, const std::string& standardNodes,
                   std::vector<std::uint8_t>& bifs, std::string* error,
                   std::vector<std::string>* warnings = nullptr, const EncodeOptions& options = {});

// Decodes a SceneReplace command and writes the scene, with its ROUTEs, as
// VRML97 text. False with *error (the decoder's reason and bit) on failure.
bool DecodeToWrl(const std::vector<std::uint8_t>& bifs, std::string& wrl, std::string* error);
// The same in two steps, for text written to a file as it is made: the
// decoding (false with *error), then the text (false when a write failed).
bool DecodeScene(const std::vector<std::uint8_t>& bifs, SceneTree& tree, std::string* error);
// The decoding of an input as ReadInput reads it ("-", a pipe, a regular file,
// which is mapped rather than copied); *error starts with the input's name.
bool DecodeInput(const std::string& path, SceneTree& tree, std::string* error);
bool WriteSceneText(const SceneTree& tree, std::FILE* file);

// The largest input the tool reads.
inline constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 30;

// Reads all of an input: "-" is standard input. Regular files, pipes and
// sockets are read up to `limit` bytes, beyond which the read stops with an
// error; folders and devices are refused. False with a one-line *error.
bool ReadInput(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* error,
               std::uint64_t limit = kMaxInputBytes);
// What kind of input `path` is: a regular file (read in place by the
// loader), a stream to read through ReadInput ("-", a pipe, a socket), or
// something refused (*error set: a folder, a device, a missing file).
enum class InputKind { kFile, kStream, kRefused };
InputKind ClassifyInput(const std::string& path, std::string* error);
// True when `a` and `b` name the same existing file (or are the same path).
bool SameFile(const std::string& a, const std::string& b);
// Writes `size` bytes to `path` ("-" is standard output). A file that cannot
// be written completely is removed. False with *error.
bool WriteOutput(const std::string& path, const void* data, std::size_t size, std::string* error);
