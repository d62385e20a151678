#include "app/load_scene.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <set>

#include "loader/scene_source.h"
#include "loader/vrml_loader.h"
#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/nodes.h"
#include "node/scenetree.h"
#include "rendermodule/geometry_builder.h"
#include "rendermodule/render_module.h"
#include "tools/orvane-bifs/bifs_convert.h"
#include "trace/message_sink.h"

namespace {

// Distinct nodes below `root` (shared ones once), the root not counted.
int CountNodes(SingleNode* root) {
    if (root == nullptr) return 0;
    std::set<SingleNode*> seen{root};
    std::vector<SingleNode*> pending{root};
    while (!pending.empty()) {
        SingleNode* node = pending.back();
        pending.pop_back();
        auto visit = [&](SingleNode* child) {
            if (child != nullptr && seen.insert(child).second) pending.push_back(child);
        };
        for (int i = 0, n = node->GetDEFCount(); i < n; ++i) {
            Field* field = node->GetDEFField(i);
            if (auto* child = dynamic_cast<SingleNode*>(field)) visit(child);
            if (auto* list = dynamic_cast<MultiNode*>(field))
                for (SingleNode* entry : list->Nodes()) visit(entry);
        }
    }
    return static_cast<int>(seen.size()) - 1;
}

bool NamedAsBifs(const std::string& file) {
    std::string tail = file.substr(file.size() - std::min<std::size_t>(file.size(), 5));
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".bifs";
}

// Decodes a whole SceneReplace command into a document.
SceneReadResult DecodeBifs(const std::string& file, const std::vector<std::uint8_t>& bytes) {
    SceneReadResult result;
    auto document = std::make_unique<SceneDocument>();
    document->tree = std::make_unique<SceneTree>();
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    CCommandDecoder decoder;
    if (decoder.DecodeStream(&in, document->tree.get()) != node::kOk) {
        result.error = "it does not decode as BIFS: " + decoder.GetError();
        return result;
    }
    SingleNode* root = nullptr;
    document->tree->GetRoot(&root);
    if (root == nullptr) {
        result.error = "the BIFS stream holds no scene";
        return result;
    }
    document->root = node::Ptr<SingleNode>(root);
    document->file = file;
    document->bifs = true;
    document->nodeCount = CountNodes(root);
    result.document = std::move(document);
    return result;
}

// The loader's parse of an open source, with the loader reset afterwards.
SceneReadResult ReadVrml(VrmlLoader& loader, SceneSource& source) {
    SceneReadResult result;
    loader.ResetParser();
    if (loader.LoadStandardNodes() != VrmlLoader::kLoadOk) {
        result.error = "the node type declarations (standardNodes.wrl) cannot be read";
        return result;
    }
    const int errorsBefore = loader.GetErrorCount();
    const int status = loader.ParseSceneSource(source);
    auto document = std::make_unique<SceneDocument>();
    document->file = source.Path();
    document->root = node::Ptr<SingleNode>(loader.GetSceneRoot());
    document->routes = loader.GetRouteList();
    document->errorCount = loader.GetErrorCount() - errorsBefore;
    for (const std::string& name : loader.GetDefNames())
        if (SingleNode* node = loader.FindDef(name);
            node != nullptr && GetNodeType(*node) == Viewpoint::kNodeType)
            document->viewpoints.emplace(name, node::Ptr<SingleNode>(node));
    // The loader lets go of the new scene, which the document alone now holds.
    loader.ResetParser();
    if (status != VrmlLoader::kLoadOk) {
        result.cancelled = source.Cancelled();
        result.error = source.Error();
        return result;
    }
    document->nodeCount = CountNodes(document->root.Get());
    if (document->nodeCount == 0 && document->errorCount > 0) {
        result.error = "it is not a VRML97 scene (" + std::to_string(document->errorCount) +
                       " syntax error" + (document->errorCount == 1 ? "" : "s") + ", no node read)";
        return result;
    }
    result.document = std::move(document);
    return result;
}

}  // namespace

SceneReadResult ReadSceneDocument(VrmlLoader& loader, const std::string& file,
                                  SceneReadControl* control) {
    SceneReadResult result;
    SceneSource source(file, control);
    if (!source.IsOpen()) {
        result.error = source.Error();
        return result;
    }
    if (source.Head().empty()) {
        source.Finish();
        result.cancelled = source.Cancelled();
        result.error = source.Error().empty() ? "the file is empty" : source.Error();
        return result;
    }
    if (!source.IsCompressed() && NamedAsBifs(file) && !source.Head().starts_with("#VRML")) {
        std::vector<std::uint8_t> bytes;
        if (!source.ReadAll(bytes, kMaxBifsBytes)) {
            result.cancelled = source.Cancelled();
            result.error = source.Error();
            return result;
        }
        result = DecodeBifs(file, bytes);
    } else {
        result = ReadVrml(loader, source);
    }
    return result;
}

void ShowSceneDocument(CRenderModule& module, std::unique_ptr<SceneDocument>& shown,
                       std::unique_ptr<SceneDocument> next) {
    module.Stop();
    // Messages raised while the lock is held are shown once it is free.
    MessageDeferral defer;
    std::lock_guard<std::recursive_mutex> lock(module.SceneLock());
    module.ClearWorld();
    // The old scene is gone: its messages may be shown again for the new one.
    ResetMessageScope();
    module.ResetScene();
    module.SetScene(next->root.Get(), &next->routes, next->file);
    // The module has let go of the old document: its nodes go, still under the lock.
    shown.swap(next);
    next.reset();
    const SceneDocument* document = shown.get();
    module.SetDefLookup([document](const std::string& name) -> SingleNode* {
        auto it = document->viewpoints.find(name);
        return it == document->viewpoints.end() ? nullptr : it->second.Get();
    });
    module.RenderFrame();
}

SceneReadResult LoadScene(CRenderModule& module, VrmlLoader& loader, const std::string& fileName,
                          std::unique_ptr<SceneDocument>& shown) {
    SceneReadResult result = ReadSceneDocument(loader, fileName);
    if (result.document) ShowSceneDocument(module, shown, std::move(result.document));
    return result;
}

std::uint64_t CountTriangles(const rm::DeviceFrame& frame) {
    std::uint64_t triangles = 0;
    for (const rm::ViewportSnapshot& viewport : frame.viewports)
        for (const rm::VisualSnapshot& visual : viewport.visuals)
            if (visual.mesh)
                for (const rm::MeshFace& face : visual.mesh->faces)
                    if (face.cornerCount >= 3) triangles += face.cornerCount - 2;
    return triangles;
}

bool EncodeSceneAsBifs(VrmlLoader& loader, const SceneDocument& document,
                       std::vector<std::uint8_t>& bifs, std::string* error,
                       std::vector<std::string>* warnings) {
    SceneTree tree;
    if (document.bifs) {
        SceneSource source(document.file);
        std::vector<std::uint8_t> bytes;
        if (!source.IsOpen() || !source.ReadAll(bytes, kMaxBifsBytes)) {
            *error = "cannot read " + document.file + ": " + source.Error();
            return false;
        }
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        CCommandDecoder decoder;
        if (decoder.DecodeStream(&in, &tree) != node::kOk) {
            *error = document.file + " does not decode as BIFS: " + decoder.GetError();
            return false;
        }
    } else {
        // The same steps as orvane-bifs encode, so the bytes are the same.
        loader.ResetParser();
        const int errorsBefore = loader.GetErrorCount();
        loader.SetReadInlines(false);
        const int status = loader.ParseVrmlFile(document.file.c_str());
        loader.SetReadInlines(true);
        if (status != VrmlLoader::kLoadOk) {
            loader.ResetParser();
            *error = "cannot read " + document.file;
            return false;
        }
        if (const int errors = loader.GetErrorCount() - errorsBefore; errors > 0) {
            loader.ResetParser();
            *error = document.file + ": " + std::to_string(errors) +
                     " error(s) in the scene; BIFS holds only scenes read without errors";
            return false;
        }
        SingleNode* root = loader.GetSceneRoot();
        std::vector<std::string> pruned = PruneNodesOutsideTheirContext(root);
        if (warnings) *warnings = std::move(pruned);
        AssignSharedNodeIds(root);
        tree.SetRoot(root);
        loader.ResetParser();
    }
    CCommadEncoder encoder;
    if (encoder.EncodeToMemory(&tree, bifs) != node::kOk) {
        *error = "the scene is empty";
        return false;
    }
    return true;
}

bool AddTestBox(CRenderModule& module) {
    {
        MessageDeferral defer;
        std::lock_guard<std::recursive_mutex> lock(module.SceneLock());
        CD3DObj& d3d = module.GetD3DObj();
        if (d3d.GetD3DRM() == nullptr || d3d.GetWorld() == nullptr) return false;
        rm::Ptr<rm::Frame> frame;
        rm::Ptr<rm::MeshBuilder> box;
        if (rm::Failed(d3d.GetD3DRM()->CreateFrame(d3d.GetWorld(), frame.Put()))) return false;
        if (rm::Failed(d3d.GetD3DRM()->CreateMeshBuilder(box.Put()))) return false;
        GetABox(box.Get(), 2.0f, 1.0f, 2.0f);
        frame->AddRotation(rm::Combine::Replace, 0, 0, 1, 1.0f);
        frame->AddVisual(box.Get());
        // The world frame keeps both alive; our references go with the Ptrs.
    }
    module.RenderFrame();
    return true;
}
