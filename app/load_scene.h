// The shell's scene changes over the loader and the render module: reading a
// scene file into a document, handing a document to the module, the load-scene
// sequence of both, saving the shown scene as BIFS and the T key's test box.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader/route.h"
#include "node/scenetree.h"

class CRenderModule;
class VrmlLoader;
struct SceneReadControl;
namespace rm {
struct DeviceFrame;
}

// A scene as the viewer shows it: the nodes and routes read from one file, owned
// here and not by the loader that read them, so that the loader can read the next
// file (on another thread) while this one is shown and animated.
struct SceneDocument {
    std::string file;
    bool bifs = false;  // decoded from a BIFS stream (its tree keeps the node IDs)
    node::Ptr<SingleNode> root;
    RouteList routes;
    std::unique_ptr<SceneTree> tree;
    // The DEFined Viewpoints by name, for Anchor urls of the form "#Name".
    std::map<std::string, node::Ptr<SingleNode>> viewpoints;
    int nodeCount = 0;   // distinct nodes below the root
    int errorCount = 0;  // syntax errors met while reading what was read
};

struct SceneReadResult {
    std::unique_ptr<SceneDocument> document;  // null when the file cannot be shown
    std::string error;                        // why not, for the user
    bool cancelled = false;                   // the control's cancel ended the read
};

// The largest BIFS stream the viewer reads whole into memory.
inline constexpr std::size_t kMaxBifsBytes = std::size_t(1) << 30;

// Reads `file` into a new document: a BIFS stream when its name ends in ".bifs"
// and it does not start as VRML97 text, else VRML97 text (plain or gzip-compressed)
// after the declarations. A file that is empty, unreadable, not a scene at all
// (nothing read but errors: a picture, random bytes) or a stream that does not
// decode gives no document and the reason. Uses nothing but `loader` and the nodes
// it makes, so it may run off the window thread while the module shows another
// document; the loader is reset before returning and keeps no node of the file.
SceneReadResult ReadSceneDocument(VrmlLoader& loader, const std::string& file,
                                  SceneReadControl* control = nullptr);

// Replaces the shown scene by `next` (window thread): stop the render thread,
// clear the world, start a new message scope, reset the scene (router, black
// background, entry view), hand root and routes to the module, release the old
// document, render one frame. The scene lock is held throughout, so no animation
// step or paint sees the old scene half gone; press "PLAY!" again to animate the
// new one.
void ShowSceneDocument(CRenderModule& module, std::unique_ptr<SceneDocument>& shown,
                       std::unique_ptr<SceneDocument> next);

// ReadSceneDocument, then ShowSceneDocument when it gave a document; on failure the
// shown scene stays as it was.
SceneReadResult LoadScene(CRenderModule& module, VrmlLoader& loader, const std::string& fileName,
                          std::unique_ptr<SceneDocument>& shown);

// Triangles drawn in a frame: every polygon of every visual, as a fan.
std::uint64_t CountTriangles(const rm::DeviceFrame& frame);

// The shown document's file as `orvane-bifs encode` writes it: read again with
// `loader` (a VRML97 file with errors is refused, nodes BIFS cannot place are left
// out and listed in `warnings`), or for a BIFS document decoded and encoded again.
// False with *error when it cannot be written.
bool EncodeSceneAsBifs(VrmlLoader& loader, const SceneDocument& document,
                       std::vector<std::uint8_t>& bifs, std::string* error,
                       std::vector<std::string>* warnings);

// Adds a 2 x 1 x 2 box, turned one radian about z, to the current world and
// renders. False when the retained-mode objects could not be made.
bool AddTestBox(CRenderModule& module);
