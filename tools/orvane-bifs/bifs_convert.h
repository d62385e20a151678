// The conversions behind orvane-bifs, as functions the tests call too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SingleNode;

// Gives every node that stands in more than one place of the tree below `root`
// a node ID (1, 2, ... in the order the encoder first meets them) so that the
// sharing survives in the bitstream; other nodes keep ID 0. Returns how many.
int AssignSharedNodeIds(SingleNode* root);

// BIFS can only write a node where its context allows its node type (a
// NavigationInfo, say, cannot stand among a Group's children). Takes such
// nodes out of the tree below `root` and returns one line per node taken out.
std::vector<std::string> PruneNodesOutsideTheirContext(SingleNode* root);

// Loads a VRML97 file (after `standardNodes`) and encodes it as one
// SceneReplace command. False with *error on failure; `warnings` receives
// what had to be left out.
bool EncodeWrlFile(const std::string& wrl, const std::string& standardNodes,
                   std::vector<std::uint8_t>& bifs, std::string* error,
                   std::vector<std::string>* warnings = nullptr);

// Decodes a SceneReplace command and writes the tree as VRML97 text.
bool DecodeToWrl(const std::vector<std::uint8_t>& bifs, std::string& wrl, std::string* error);
