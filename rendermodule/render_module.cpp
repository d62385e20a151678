#include "rendermodule/render_module.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <set>

#include "loader/url.h"
#include "node/declared_node.h"
#include "node/node_basenodedef.h"
#include "rendermodule/geometry_builder.h"
#include "rendermodule/mm_clock.h"
#include "rendermodule/script_loader.h"
#include "trace/message_sink.h"

namespace {
constexpr int kKeyW = 'W', kKeyS = 'S', kKeyA = 'A', kKeyD = 'D';

// Where a Script's shutdown sends its events: nowhere, its scene is going.
class DiscardingSink : public IEventSink {
  public:
    void Emit(SingleNode*, int, std::unique_ptr<Field>, double) override {}
};

// Every Script node below `node`, each once, in the order met.
void FindScripts(SingleNode* node, std::set<SingleNode*>& seen, std::vector<SingleNode*>& out) {
    if (node == nullptr || !seen.insert(node).second) return;
    if (node->NodeTypeId() == DeclaredNode::kScript) out.push_back(node);
    std::string name;
    for (int i = 0; node->GetFieldName(i, name) == 0; ++i) {
        Field* field = node->GetField(i);
        if (SingleNode* child = AsNode(field)) FindScripts(child, seen, out);
        if (MultiNode* list = AsNodeList(field))
            for (SingleNode* child : list->Nodes()) FindScripts(child, seen, out);
    }
}
}  // namespace

class CRenderModule::SceneGuard {
  public:
    explicit SceneGuard(std::recursive_mutex& lock) : m_lock(lock) {}

  private:
    MessageDeferral m_defer;  // outlives the lock: messages show once it is free
    std::lock_guard<std::recursive_mutex> m_lock;
};

CRenderModule::CRenderModule() : m_thread([this] { StepFrame(); }), m_clock(TimeGetTime) {
    m_router.SetDealer(&m_traverser.GetDealer());
}

CRenderModule::~CRenderModule() {
    m_thread.Terminate(UINT32_MAX);
    SceneGuard guard(m_sceneLock);
    m_selection.Reset();
}

// ---- Display device ----

void CRenderModule::Init(IRenderWindow* window) {
    SceneGuard guard(m_sceneLock);
    m_renderer.Init(window);
}

void CRenderModule::OnMove() {
    SceneGuard guard(m_sceneLock);
    m_renderer.OnMove();
}

void CRenderModule::OnSize(IRenderWindow* window) {
    SceneGuard guard(m_sceneLock);
    m_renderer.OnSize(window);
}

void CRenderModule::OnPaint() {
    SceneGuard guard(m_sceneLock);
    m_renderer.OnPaint();
}

void CRenderModule::Release() {
    SceneGuard guard(m_sceneLock);
    StopScripts();
    m_selection.Reset();
    m_sensors.Reset(nullptr);
    m_sensorDrag = false;
    m_router.Reset(nullptr, nullptr, nullptr, nullptr);
    m_router.ClearReceivers();
    m_router.DealRoute(nullptr);
    m_traverser.TraverseScene(nullptr, nullptr);  // drops the tables' references
    m_renderer.Release();
}

void CRenderModule::ClearWorld() {
    SceneGuard guard(m_sceneLock);
    StopScripts();
    m_selection.Reset();
    m_sensors.Reset(nullptr);
    m_sensorDrag = false;
    m_renderer.ClearWorld();
}

void CRenderModule::RenderFrame() {
    SceneGuard guard(m_sceneLock);
    m_traverser.GetDealer().SelectLevels(GetD3DObj().GetCamera());
    m_renderer.RenderFrame();
}

// ---- Scene hand-over ----

void CRenderModule::SetScene(SingleNode* root, const RouteList* routes,
                             const std::string& sceneFile) {
    SceneGuard guard(m_sceneLock);
    m_root = root;
    m_routes = routes;
    m_sceneFile = sceneFile;
    StopScripts();
    m_router.ClearReceivers();  // they belong to the scene before
    Translate();
    StartScripts();
    CD3DObj& d3d = GetD3DObj();
    if (!m_traverser.GetDealer().SceneWantsHeadLight() && d3d.GetCamera() && d3d.GetHeadLight())
        d3d.GetCamera()->DeleteLight(d3d.GetHeadLight());
    const CNodeDealer& dealer = m_traverser.GetDealer();
    m_entry = dealer.Viewpoints().empty()
                  ? EntryViewFor(dealer.SceneBounds(), d3d.StartHalfExtent())
                  : EntryView{};
    if (m_entry.fitted) PlaceEntryView();
}

void CRenderModule::Translate() {
    m_traverser.GetDealer().SetRenderQuality(m_quality);
    m_traverser.GetDealer().SetRouteTargets(m_routes);
    m_traverser.TraverseScene(&GetD3DObj(), m_root, m_sceneFile);
    m_router.DealRoute(m_routes, m_root);
    m_sensors.Reset(&m_traverser.GetDealer().Sensors());
    m_sensorDrag = false;
}

void CRenderModule::StartScripts() {
    std::vector<SingleNode*> scripts;
    std::set<SingleNode*> seen;
    FindScripts(m_root, seen, scripts);
    if (scripts.empty()) return;
    // The engine's module is loaded at the first scene that has a Script.
    m_scripts = LoadScriptEngine();
    if (!m_scripts) return;       // the scene shows without its scripts
    m_scripts->SetFrameRate(50);  // the render thread's most frequent step
    const std::string dir = std::filesystem::path(m_sceneFile).parent_path().string();
    for (SingleNode* node : scripts) {
        const DeclaredNode* declared = DeclaredNode::Of(node);
        if (m_scripts->AddNode(node, declared ? declared->DefName() : std::string(), dir))
            m_router.SetReceiver(node, m_scripts.get());
    }
    // What initialize() sends runs at the first step.
    m_scripts->Initialize(Now(), m_router);
}

void CRenderModule::StopScripts() {
    if (!m_scripts) return;
    DiscardingSink nowhere;
    m_scripts->Shutdown(Now(), nowhere);
    m_router.ClearReceivers();
    m_scripts.reset();
}

void CRenderModule::ResetScene() {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    const CNodeDealer& dealer = m_traverser.GetDealer();
    m_router.Reset(&dealer.Interpolators(), &dealer.NodeObjects(), d3d.GetD3DRM(), d3d.GetCamera(),
                   &dealer.Viewpoints());
    if (d3d.GetScene()) {
        d3d.GetScene()->SetSceneBackgroundRGB(0, 0, 0);
        d3d.GetScene()->SetSceneBackdrop(nullptr);
    }
    m_entry = EntryView{};
    ResetViewpoint();
}

void CRenderModule::RetranslateScene() {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    // Translating again would move the camera to the scene's last viewpoint and
    // renumber unnamed viewpoints; the user keeps the view and the names.
    glm::mat4 camera = d3d.GetCamera() ? d3d.GetCamera()->GetLocalTransform() : glm::mat4(1.0f);
    const float fieldOfView = d3d.GetFieldOfView(), front = d3d.GetFront(), back = d3d.GetBack();
    std::vector<std::string> names = GetViewpointNames();
    // Nor does the camera start following another viewpoint than before.
    const ViewpointList& viewpoints = m_traverser.GetDealer().Viewpoints();
    std::size_t bound = viewpoints.size();
    for (std::size_t i = 0; i < viewpoints.size() && m_router.BoundViewpoint(); ++i)
        if (viewpoints[i].frame.Get() == m_router.BoundViewpoint()) bound = i;
    Translate();
    if (d3d.GetCamera()) d3d.GetCamera()->AddTransform(rm::Combine::Replace, camera);
    d3d.SetView(fieldOfView, front, back);
    m_traverser.GetDealer().RenameViewpoints(names);
    m_router.BindViewpoint(bound < viewpoints.size() ? viewpoints[bound].frame.Get() : nullptr);
}

// ---- Playback ----

void CRenderModule::Play() {
    {
        SceneGuard guard(m_sceneLock);
        m_router.SetStartTime(m_clock());
    }
    m_thread.Play();
}

void CRenderModule::Stop() {
    m_thread.Stop();
}

void CRenderModule::StepFrame() {
    SceneGuard guard(m_sceneLock);
    const std::uint32_t now = m_clock();
    // The environment sensors first, so that what they send runs in this step.
    if (rm::Viewport* viewport = GetD3DObj().GetViewport())
        m_sensors.Step(m_router.TimeOf(now), *viewport, Sink());
    m_router.Refresh(now);
    m_traverser.GetDealer().SelectLevels(GetD3DObj().GetCamera());
    m_renderer.RenderFrame();
}

double CRenderModule::CurrentTime() {
    SceneGuard guard(m_sceneLock);
    return m_router.TimeOf(m_clock());
}

// ---- Settings ----

void CRenderModule::SetRenderQuality(rm::Quality quality) {
    SceneGuard guard(m_sceneLock);
    m_quality = quality;
    m_traverser.GetDealer().SetRenderQuality(quality);
    CD3DObj& d3d = GetD3DObj();
    d3d.SetRenderQuality(quality);
    if (d3d.GetWorld() && d3d.GetScene()) {
        glm::mat4 placement = d3d.GetWorld()->GetTransform(d3d.GetScene());
        ClearWorld();
        d3d.GetWorld()->AddTransform(rm::Combine::Replace, placement);
        RetranslateScene();
    }
    RenderFrame();
}

void CRenderModule::HeadLightOn() {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    if (d3d.GetCamera() && d3d.GetHeadLight()) {
        d3d.GetCamera()->DeleteLight(d3d.GetHeadLight());
        d3d.GetCamera()->AddLight(d3d.GetHeadLight());
    }
    RenderFrame();
}

void CRenderModule::HeadLightOff() {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    if (d3d.GetCamera() && d3d.GetHeadLight()) d3d.GetCamera()->DeleteLight(d3d.GetHeadLight());
    RenderFrame();
}

bool CRenderModule::IsHeadLightOn() {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    if (d3d.GetCamera() == nullptr || d3d.GetHeadLight() == nullptr) return false;
    for (const rm::Ptr<rm::Light>& light : d3d.GetCamera()->Lights())
        if (light.Get() == d3d.GetHeadLight()) return true;
    return false;
}

std::vector<std::string> CRenderModule::GetViewpointNames() const {
    std::vector<std::string> names;
    for (const ViewpointRecord& v : m_traverser.GetDealer().Viewpoints()) names.push_back(v.name);
    return names;
}

void CRenderModule::ResetViewpoint() {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    rm::Frame* scene = d3d.GetScene();
    if (scene == nullptr) return;
    m_router.BindViewpoint(nullptr);  // the entry view follows no viewpoint
    PlaceEntryView();
    RenderFrame();
}

void CRenderModule::PlaceEntryView() {
    CD3DObj& d3d = GetD3DObj();
    rm::Frame* scene = d3d.GetScene();
    if (scene == nullptr) return;
    const glm::vec3 p = m_entry.position;
    d3d.GetCamera()->SetPosition(scene, p.x, p.y, p.z);
    d3d.GetCamera()->SetOrientation(scene, {0, 0, -1}, {0, 1, 0});
    d3d.GetWorld()->SetPosition(scene, 0, 0, 0);
    d3d.GetWorld()->SetOrientation(scene, {0, 0, -1}, {0, 1, 0});
    d3d.SetView(0, m_entry.front, m_entry.back);
}

void CRenderModule::GoToViewpoint(const std::string& name) {
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    rm::Frame* scene = d3d.GetScene();
    if (scene == nullptr) return;
    d3d.GetWorld()->SetPosition(scene, 0, 0, 0);
    d3d.GetWorld()->SetOrientation(scene, {0, 0, -1}, {0, 1, 0});
    if (name == "[Entry]") {
        ResetViewpoint();
        return;
    }
    for (const ViewpointRecord& v : m_traverser.GetDealer().Viewpoints()) {
        if (v.name != name) continue;
        rm::Frame* camera = d3d.GetCamera();
        if (v.frame) {
            // Where the viewpoint's frame is now, through its Transforms as they are.
            PlaceCamera(*camera, *v.frame);
        } else {
            camera->AddTranslation(rm::Combine::Replace, v.position.GetX(), v.position.GetY(),
                                   v.position.GetZ());
            camera->SetOrientation(scene, {0, 0, -1}, {0, 1, 0});
            const SFRotation& o = v.orientation;
            camera->AddRotation(rm::Combine::Before, o.GetX(), o.GetY(), o.GetZ(), o.GetAngle());
        }
        d3d.SetView(v.fieldOfView);
        m_router.BindViewpoint(v.frame.Get());
        m_router.BindChosen(v.node, Now());
        RenderFrame();
        return;
    }
}

// ---- Navigation ----

void CRenderModule::OnKeyDown(int key) {
    if (m_interactionMode == InteractionMode::Edit) return;
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    if (d3d.GetCamera() == nullptr) return;
    const bool camera = m_navigationMode == NavigationMode::Camera;
    const glm::vec3 xAxis(1, 0, 0), yAxis(0, 1, 0);
    switch (key) {
        case kKeyW:
            camera ? d3d.MoveCameraLocal({0, 0, -0.1f}) : d3d.TurnWorld(xAxis, -0.1f);
            break;
        case kKeyS:
            camera ? d3d.MoveCameraLocal({0, 0, 0.1f}) : d3d.TurnWorld(xAxis, 0.1f);
            break;
        case kKeyA:
            camera ? d3d.MoveCameraLocal({-0.1f, 0, 0}) : d3d.TurnWorld(yAxis, -0.1f);
            break;
        case kKeyD:
            camera ? d3d.MoveCameraLocal({0.1f, 0, 0}) : d3d.TurnWorld(yAxis, 0.1f);
            break;
        case kVkUp:
            camera ? d3d.TurnCameraLocal(xAxis, 0.1f) : d3d.TurnWorld(xAxis, -0.1f);
            break;
        case kVkDown:
            camera ? d3d.TurnCameraLocal(xAxis, -0.1f) : d3d.TurnWorld(xAxis, 0.1f);
            break;
        case kVkLeft:
        case kVkRight: {
            float angle = key == kVkLeft ? 0.1f : -0.1f;
            if (camera) {
                // Turn about the camera's own position.
                glm::vec3 p = d3d.GetCamera()->GetPosition(d3d.GetScene());
                d3d.MoveCamera(-p);
                d3d.TurnCamera(yAxis, angle);
                d3d.MoveCamera(p);
            } else {
                d3d.TurnWorld(yAxis, -angle);
            }
            break;
        }
        default:
            break;
    }
    RenderFrame();
}

void CRenderModule::OnMouseMove(int x, int y, unsigned keyFlags) {
    if (m_interactionMode == InteractionMode::Edit) return;
    // Coordinates are 16-bit, as window messages carry them.
    x = static_cast<std::int16_t>(x & 0xFFFF);
    y = static_cast<std::int16_t>(y & 0xFFFF);
    SceneGuard guard(m_sceneLock);
    if (m_interactionMode == InteractionMode::Interact) {
        PointerMove(x, y, Now());
        if (m_sensorDrag) {
            // The sensors hold the pointer: the view stays.
            m_captured = (keyFlags & kMkLButton) != 0;
            m_lastX = x;
            m_lastY = y;
            return;
        }
    }
    CD3DObj& d3d = GetD3DObj();
    float dx = static_cast<float>(x - m_lastX), dy = static_cast<float>(y - m_lastY);
    const bool camera = m_navigationMode == NavigationMode::Camera;
    if (keyFlags & kMkLButton) {
        m_captured = true;
        if (camera) {
            d3d.TurnCameraLocal({1, 0, 0}, -dy / 40);
            d3d.TurnCameraLocal({0, 1, 0}, -dx / 40);
        } else if (!(keyFlags & kMkControl)) {
            float d = 0;
            if (d3d.GetCamera() && d3d.GetWorld())
                d = glm::length(d3d.GetCamera()->GetPosition(d3d.GetScene()) -
                                d3d.GetWorld()->GetPosition(d3d.GetScene()));
            d3d.MoveWorld({dx / (600 / d), 0, 0});
            d3d.MoveWorld({0, -dy / (600 / d), 0});
        } else {
            d3d.TurnWorld({1, 0, 0}, dy / 40);
            d3d.TurnWorld({0, 1, 0}, dx / 40);
        }
        RenderFrame();
    } else if (keyFlags & kMkRButton) {
        m_captured = true;
        if (!camera) d3d.MoveWorld({0, 0, -dy / 5});
        RenderFrame();
    } else {
        m_captured = false;
    }
    m_lastX = x;
    m_lastY = y;
}

void CRenderModule::OnLButtonDown(int x, int y, unsigned) {
    if (m_interactionMode != InteractionMode::Interact) return;
    x = static_cast<std::int16_t>(x & 0xFFFF);
    y = static_cast<std::int16_t>(y & 0xFFFF);
    SceneGuard guard(m_sceneLock);
    m_sensorDrag = PointerPress(x, y, Now());
    m_lastX = x;
    m_lastY = y;
}

void CRenderModule::OnLButtonUp(int x, int y, unsigned) {
    if (m_interactionMode == InteractionMode::Interact) {
        if (!m_sensorDrag) return;
        m_sensorDrag = false;
        m_captured = false;
        PointerRelease(static_cast<std::int16_t>(x & 0xFFFF), static_cast<std::int16_t>(y & 0xFFFF),
                       Now());
        return;
    }
    if (m_interactionMode != InteractionMode::Edit) return;
    x = x & 0xFFFF;
    y = y & 0xFFFF;
    SceneGuard guard(m_sceneLock);
    CD3DObj& d3d = GetD3DObj();
    if (m_selection) {
        if (d3d.GetWorld()) d3d.GetWorld()->DeleteChild(m_selection.Get());
        m_selection.Reset();
    }
    if (d3d.GetViewport() == nullptr) return;
    std::vector<rm::PickHit> hits;
    if (rm::Failed(d3d.GetViewport()->Pick(x, y, &hits))) {
        ShowMessage("pick failed in CRenderModule::OnLButtonUp");
    } else if (!hits.empty() && !hits[0].path.empty()) {
        rm::Frame* picked = hits[0].path.back().Get();
        rm::Box box;
        if (hits[0].visual && rm::Succeeded(hits[0].visual->GetBox(&box)) &&
            rm::Succeeded(d3d.GetD3DRM()->CreateFrame(d3d.GetWorld(), m_selection.Put()))) {
            GetASelectionBox(*d3d.GetD3DRM(), m_selection.Get(), box);
            glm::vec3 p = picked->GetPosition(nullptr);
            glm::vec3 dir, up;
            picked->GetOrientation(nullptr, &dir, &up);
            m_selection->SetPosition(nullptr, p.x, p.y, p.z);
            m_selection->SetOrientation(nullptr, dir, up);
        }
    }
    RenderFrame();
}

// ---- Sensors ----

IEventSink& CRenderModule::Sink() {
    return m_eventSink ? *m_eventSink : m_router;
}

bool CRenderModule::PointerPress(int x, int y, double time) {
    SceneGuard guard(m_sceneLock);
    rm::Viewport* viewport = GetD3DObj().GetViewport();
    return viewport != nullptr && m_sensors.Press(*viewport, x, y, time, Sink());
}

void CRenderModule::PointerMove(int x, int y, double time) {
    SceneGuard guard(m_sceneLock);
    if (rm::Viewport* viewport = GetD3DObj().GetViewport())
        m_sensors.Move(*viewport, x, y, time, Sink());
}

void CRenderModule::PointerRelease(int x, int y, double time) {
    {
        SceneGuard guard(m_sceneLock);
        if (rm::Viewport* viewport = GetD3DObj().GetViewport())
            m_sensors.Release(*viewport, x, y, time, Sink());
    }
    FollowAnchor();
}

void CRenderModule::Click(int x, int y, double time) {
    PointerMove(x, y, time);
    if (PointerPress(x, y, time)) PointerRelease(x, y, time + 0.001);
}

void CRenderModule::FollowAnchor() {
    std::string file, missing;
    {
        SceneGuard guard(m_sceneLock);
        for (const std::string& url : m_sensors.TakeAnchorUrls()) {
            if (url.starts_with("#")) {
                // A viewpoint of this scene: by its DEF name, else by its description.
                const std::string name = url.substr(1);
                std::string bound = name;
                if (SingleNode* node = m_defLookup ? m_defLookup(name) : nullptr) {
                    const NodeObjectTable& objects = m_traverser.GetDealer().NodeObjects();
                    auto frames = objects.find(node);
                    for (const ViewpointRecord& v : m_traverser.GetDealer().Viewpoints())
                        if (frames != objects.end() && !frames->second.empty() &&
                            v.frame.Get() == frames->second.front().Get())
                            bound = v.name;
                }
                bool known = false;
                for (const ViewpointRecord& v : m_traverser.GetDealer().Viewpoints())
                    known = known || v.name == bound;
                if (known)
                    GoToViewpoint(bound);
                else
                    ShowMessage("Anchor: no viewpoint " + url);
                return;
            }
            // Another scene file; a viewpoint named after its '#' is not looked for.
            const std::string path = ResolveUrl(m_sceneFile, url.substr(0, url.find('#')));
            std::error_code error;
            if (!path.empty() && std::filesystem::is_regular_file(path, error)) {
                file = path;
                break;
            }
            if (missing.empty()) missing = url;
        }
        if (file.empty() && !missing.empty()) ShowMessage("Anchor: cannot open " + missing);
    }
    // Loading replaces the scene: only once the lock is free and the sensors are done.
    if (!file.empty() && m_anchorHandler) m_anchorHandler(file);
}
