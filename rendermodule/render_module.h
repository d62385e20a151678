// CRenderModule: the one object through which the application shell drives
// rendering. It owns the display device, the scene translator, the router and
// the render thread; takes each loaded scene; forwards window events; moves
// camera or world on keys and mouse drags; picks; switches viewpoints, head
// light and render quality; starts and pauses animation.
//
// Threads: every operation here runs on the window thread except StepFrame,
// which the render thread calls. Both take the module's scene lock (SceneLock)
// for as long as they touch frames, meshbuilders, router or tables: it is the
// one lock that serialises every use of the retained-mode objects. Messages
// raised meanwhile are shown after the lock is released, so a message box on
// either thread never waits for the other.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loader/route.h"
#include "rendermodule/entry_view.h"
#include "rendermodule/event_sink.h"
#include "rendermodule/render_ddraw.h"
#include "rendermodule/render_thread.h"
#include "rendermodule/router.h"
#include "rendermodule/sensors.h"
#include "rendermodule/tree_traverser.h"

class SingleNode;
class IScriptEngine;

// Windows virtual-key codes the module understands.
enum : int { kVkLeft = 0x25, kVkUp = 0x26, kVkRight = 0x27, kVkDown = 0x28 };
// Mouse key flags.
enum : unsigned { kMkLButton = 0x1, kMkRButton = 0x2, kMkControl = 0x8 };

// What the mouse does: move the view, or pick (a left click selects a visual), or
// interact (the pointer drives the scene's sensors and Anchors over the geometry they
// sense, and moves the view elsewhere).
enum class InteractionMode { Navigate, Edit, Interact };
// What navigation moves: the camera through the scene, or the world before the camera.
enum class NavigationMode { Camera, World };

class CRenderModule {
  public:
    CRenderModule();
    virtual ~CRenderModule();
    CRenderModule(const CRenderModule&) = delete;
    CRenderModule& operator=(const CRenderModule&) = delete;

    // Display device.
    void Init(IRenderWindow* window);
    void OnMove();
    void OnSize(IRenderWindow* window);
    void OnPaint();
    void Release();
    void ClearWorld();
    void RenderFrame();
    CD3DObj& GetD3DObj() { return m_renderer.GetD3DObj(); }
    CDDrawObj& GetDDrawObj() { return m_renderer.GetDDrawObj(); }
    // The scene lock: keeps the window thread and the render thread apart. Hold it
    // for every call on the display device's retained-mode objects, the router
    // or the translation tables made from outside the module. Recursive, so a
    // holder may call the module's operations, which take it again.
    std::recursive_mutex& SceneLock() { return m_sceneLock; }
    // The millisecond clock of animation (TimeGetTime unless a test or a tool
    // steps time itself).
    void SetClock(std::function<std::uint32_t()> clock) { m_clock = std::move(clock); }

    // Scene hand-over: keeps root and routes, translates the scene, deals the
    // routes. Relative URLs in it are looked up beside `sceneFile`. A scene
    // whose NavigationInfo says `headlight FALSE` turns the head light off. A scene
    // without a Viewpoint whose bounds do not fit the start view gets an entry view
    // that fits them (entry_view.h), and the camera goes there.
    void SetScene(SingleNode* root, const RouteList* routes, const std::string& sceneFile = {});
    void ResetScene();
    // Translates the kept scene again (after a render-quality change).
    void RetranslateScene();

    void Play();
    void Stop();
    CRenderThread& GetRenderThread() { return m_thread; }

    void SetRenderQuality(rm::Quality quality);
    rm::Quality GetRenderQuality() const { return m_quality; }
    void HeadLightOn();
    void HeadLightOff();
    // True while the head light shines (on the camera frame).
    bool IsHeadLightOn();
    std::vector<std::string> GetViewpointNames() const;
    void GoToViewpoint(const std::string& name);
    void ResetViewpoint();

    void OnKeyDown(int key);
    void OnMouseMove(int x, int y, unsigned keyFlags);
    void OnLButtonDown(int x, int y, unsigned keyFlags);
    void OnLButtonUp(int x, int y, unsigned keyFlags);
    // True while a drag holds the mouse (the window grabs it meanwhile).
    bool IsMouseCaptured() const { return m_captured; }

    // One animation step: router update and a rendered frame (render thread).
    void StepFrame();

    void SetInteractionMode(InteractionMode mode) { m_interactionMode = mode; }
    InteractionMode GetInteractionMode() const { return m_interactionMode; }
    void SetNavigationMode(NavigationMode mode) { m_navigationMode = mode; }
    NavigationMode GetNavigationMode() const { return m_navigationMode; }

    // ---- Sensors ----
    // Where the sensors' events go instead of the event cascade (tests record
    // them); null (the default) is the cascade.
    void SetEventSink(IEventSink* sink) { m_eventSink = sink; }
    CSensors& GetSensors() { return m_sensors; }
    // Opens the scene file an Anchor's url names (resolved beside the shown scene):
    // called after the click, with the scene lock released. Without one such a click
    // does nothing.
    void SetAnchorHandler(std::function<void(const std::string& file)> handler) {
        m_anchorHandler = std::move(handler);
    }
    // The node DEFined under a name, for Anchor urls of the form "#Name"; without
    // one (or when it knows no such Viewpoint) the name is a viewpoint's description.
    void SetDefLookup(std::function<SingleNode*(const std::string& name)> lookup) {
        m_defLookup = std::move(lookup);
    }
    // The pointer at device pixel (x, y) at `time` (SFTime seconds), for the sensors.
    // PointerPress is true when the press went to sensors. A release that ends a
    // click on an Anchor's children follows its url.
    bool PointerPress(int x, int y, double time);
    void PointerMove(int x, int y, double time);
    void PointerRelease(int x, int y, double time);
    // Move and press at (x, y) at `time`, release a millisecond later: a click, as
    // orvane-render --click makes it. Press and release at one timestamp would let
    // the loop rule drop the release's events along routes the press used.
    void Click(int x, int y, double time);

    CTreeTraverser& GetTraverser() { return m_traverser; }
    CRouter& GetRouter() { return m_router; }
    // For event sources outside the ROUTE graph (sensors, scripts): where they
    // emit (under the scene lock), and the scene time now, in seconds on the
    // time line the TimeSensors run on.
    IEventSink& GetEventSink() { return m_router; }
    double CurrentTime();

  private:
    // The scene lock, with messages raised meanwhile shown after it is released.
    class SceneGuard;
    // Translation and routes of the kept scene (SetScene without the settings
    // a new scene brings).
    void Translate();
    // Puts camera, world frame and viewport where the entry view says.
    void PlaceEntryView();
    // The time of events the window thread raises: the animation clock's now in
    // the event cascade's time base, in seconds.
    double Now() const { return m_router.TimeOf(m_clock()); }
    IEventSink& Sink();
    // Follows the url of the Anchor the last release clicked, if any.
    void FollowAnchor();

    // The destructor ends the thread first, before anything it uses goes.
    CRenderThread m_thread;
    CTreeTraverser m_traverser;
    CRouter m_router;
    CRenderer m_renderer;
    rm::Quality m_quality = rm::kRenderGouraud;
    SingleNode* m_root = nullptr;  // not owned: the shell owns the scene
    const RouteList* m_routes = nullptr;
    std::string m_sceneFile;
    EntryView m_entry;  // of the kept scene, chosen at SetScene
    rm::Ptr<rm::Frame> m_selection;
    InteractionMode m_interactionMode = InteractionMode::Navigate;
    NavigationMode m_navigationMode = NavigationMode::World;
    int m_lastX = 0, m_lastY = 0;
    bool m_captured = false;
    std::recursive_mutex m_sceneLock;
    std::function<std::uint32_t()> m_clock;
    CSensors m_sensors;
    // The Script nodes of the scene at work; null when it has none (or when the
    // script engine module could not be loaded).
    std::unique_ptr<IScriptEngine> m_scripts;
    // Starts the scene's Scripts (their initialize) / ends them (shutdown).
    void StartScripts();
    void StopScripts();
    IEventSink* m_eventSink = nullptr;
    std::function<void(const std::string&)> m_anchorHandler;
    std::function<SingleNode*(const std::string&)> m_defLookup;
    bool m_sensorDrag = false;  // the left button went down on sensed geometry
};
