#include "app/load_scene.h"

#include <mutex>

#include "loader/vrml_loader.h"
#include "rendermodule/geometry_builder.h"
#include "rendermodule/render_module.h"
#include "trace/message_sink.h"

int LoadScene(CRenderModule& module, VrmlLoader& loader, const std::string& fileName) {
    module.Stop();
    // Messages raised while the lock is held are shown once it is free.
    MessageDeferral defer;
    std::lock_guard<std::recursive_mutex> lock(module.SceneLock());
    module.ClearWorld();
    loader.ResetParser();
    // The old scene is gone: its messages may be shown again for the new one.
    ResetMessageScope();
    const int status = loader.ParseVrmlFile(fileName.c_str());
    // Also when a file could not be opened: the module then holds the new, empty
    // root, never the old one that the parser reset has released.
    module.ResetScene();
    module.SetScene(loader.GetSceneRoot(), &loader.GetRouteList(), fileName);
    module.RenderFrame();
    return status;
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
