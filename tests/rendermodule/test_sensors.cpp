// Sensors: the drag arithmetic case by case, then the sensors of translated scenes
// driven through the render module's pointer and step, their events caught by a
// recording sink.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

#include <unistd.h>

#include <glm/gtc/matrix_transform.hpp>

#include "node/nodes.h"
#include "rendermodule/event_sink.h"
#include "rendermodule/render_module.h"
#include "rendermodule/sensors.h"
#include "scene_fixture.h"

namespace {

using namespace sensor_math;
constexpr float kPi = std::numbers::pi_v<float>;

SensorRay Ray(glm::vec3 o, glm::vec3 d) {
    return {o, d};
}

void ExpectNear(glm::vec3 got, glm::vec3 want, const std::string& what) {
    EXPECT_NEAR(glm::length(got - want), 0.0f, 1e-4f)
        << what << ": got " << got.x << " " << got.y << " " << got.z;
}

// Where a rotation (axis, angle) takes `v`.
glm::vec3 Turned(glm::vec4 r, glm::vec3 v) {
    const glm::vec3 k = glm::normalize(glm::vec3(r));
    return v * std::cos(r.w) + glm::cross(k, v) * std::sin(r.w) +
           k * glm::dot(k, v) * (1 - std::cos(r.w));
}

TEST(SensorMath, TrackPointsOnPlaneDiskCylinderAndSphere) {
    const std::optional<glm::vec3> none;
    const CylinderDrag cylinder{false, 1.0f, {0, 0, 1}};
    const CylinderDrag disk{true, 0.0f, {0, 2, 0}};
    const CylinderDrag onAxis{false, 0.0f, {0, 0, 0}};
    const struct {
        const char* what;
        std::optional<glm::vec3> got, want;
    } kCases[] = {
        {"plane, straight on", HitPlaneZ(Ray({1, 2, 5}, {0, 0, -1}), 1), glm::vec3(1, 2, 1)},
        {"plane, slanted", HitPlaneZ(Ray({0, 0, 4}, {1, 0, -2}), 0), glm::vec3(2, 0, 0)},
        {"plane, parallel ray", HitPlaneZ(Ray({0, 0, 4}, {1, 0, 0}), 0), none},
        {"plane, behind", HitPlaneZ(Ray({0, 0, 4}, {0, 0, 1}), 0), none},
        {"plane, no direction", HitPlaneZ(Ray({0, 0, 4}, {0, 0, 0}), 0), none},
        {"cylinder, front side", CylinderTrackPoint(cylinder, Ray({0, 3, 5}, {0, 0, -1})),
         glm::vec3(0, 3, 1)},
        {"cylinder, beside it", CylinderTrackPoint(cylinder, Ray({3, 0, 5}, {0, 0, -1})),
         glm::vec3(1, 0, 0)},
        {"cylinder, along the axis", CylinderTrackPoint(cylinder, Ray({0, 5, 0}, {0, -1, 0})),
         none},
        {"cylinder of radius 0", CylinderTrackPoint(onAxis, Ray({0, 0, 5}, {0, 0, -1})), none},
        {"disk", CylinderTrackPoint(disk, Ray({1, 5, 1}, {0, -1, 0})), glm::vec3(1, 2, 1)},
        {"disk, ray in its plane", CylinderTrackPoint(disk, Ray({1, 2, 5}, {0, 0, -1})), none},
        {"sphere, front side", SphereTrackPoint(2, Ray({0, 0, 5}, {0, 0, -1})), glm::vec3(0, 0, 2)},
        {"sphere, from inside", SphereTrackPoint(2, Ray({0, 0, 0}, {0, 0, -1})),
         glm::vec3(0, 0, -2)},
        {"sphere, beside it", SphereTrackPoint(2, Ray({4, 0, 5}, {0, 0, -1})), glm::vec3(2, 0, 0)},
        {"sphere of radius 0", SphereTrackPoint(0, Ray({0, 0, 5}, {0, 0, -1})), none},
        {"sphere, no direction", SphereTrackPoint(1, Ray({0, 0, 5}, {0, 0, 0})), none},
    };
    for (const auto& c : kCases) {
        ASSERT_EQ(c.got.has_value(), c.want.has_value()) << c.what;
        if (c.want) ExpectNear(*c.got, *c.want, c.what);
    }
}

TEST(SensorMath, TranslationsAnglesAndRotations) {
    // min > max leaves an axis free.
    const glm::vec2 freeMin(1, 1), freeMax(0, 0);
    const struct {
        const char* what;
        glm::vec3 got, want;
    } kTranslations[] = {
        {"offset + drag",
         PlaneTranslation({1, 1, 1}, {3, 0, 1}, {0, 0, 5}, freeMin, freeMax),
         {2, -1, 5}},
        {"clamped to the box",
         PlaneTranslation({0, 0, 0}, {3, -4, 0}, {}, {-1, -1}, {1, 1}),
         {1, -1, 0}},
        {"x held at 0", PlaneTranslation({0, 0, 0}, {3, 2, 0}, {}, {0, 1}, {0, -1}), {0, 2, 0}},
    };
    for (const auto& c : kTranslations) ExpectNear(c.got, c.want, c.what);

    const struct {
        const char* what;
        float got, want;
    } kAngles[] = {
        {"+x to -z turns +90 degrees", TurnAboutY({1, 0, 0}, {0, 5, -2}), kPi / 2},
        {"+x to +z turns -90 degrees", TurnAboutY({2, 0, 0}, {0, 0, 1}), -kPi / 2},
        {"from the axis: no turn", TurnAboutY({0, 3, 0}, {1, 0, 0}), 0},
        {"offset added", CylinderAngle(0.5f, 1.0f, 0, -1), 1.5f},
        {"clamped to max", CylinderAngle(2.0f, 0.0f, -1, 1), 1.0f},
        {"clamped to min", CylinderAngle(-2.0f, 0.5f, -1, 1), -1.0f},
    };
    for (const auto& c : kAngles) EXPECT_NEAR(c.got, c.want, 1e-5f) << c.what;

    // A sphere drag turns the start onto the track point, after the offset.
    const glm::vec4 none(0, 1, 0, 0), quarterY(0, 1, 0, kPi / 2);
    const struct {
        const char* what;
        glm::vec3 start, track;
        glm::vec4 offset;
        glm::vec3 probe, probeTo;  // where the rotation takes `probe`
    } kRotations[] = {
        {"quarter turn", {0, 0, 2}, {2, 0, 0}, none, {0, 0, 1}, {1, 0, 0}},
        {"after the offset", {0, 0, 2}, {2, 0, 0}, quarterY, {0, 0, 1}, {0, 0, -1}},
        {"half turn", {0, 0, 1}, {0, 0, -1}, none, {0, 0, 1}, {0, 0, -1}},
        {"no drag keeps the offset", {0, 0, 1}, {0, 0, 1}, quarterY, {0, 0, 1}, {1, 0, 0}},
        {"start at the centre", {0, 0, 0}, {1, 0, 0}, quarterY, {0, 0, 1}, {1, 0, 0}},
        {"zero offset axis", {0, 1, 0}, {0, 1, 0}, {0, 0, 0, 3}, {1, 0, 0}, {1, 0, 0}},
    };
    for (const auto& c : kRotations) {
        const glm::vec4 r = SphereRotation(c.start, c.track, c.offset);
        ASSERT_TRUE(std::isfinite(r.x) && std::isfinite(r.w)) << c.what;
        ExpectNear(Turned(r, c.probe), c.probeTo, c.what);
    }

    // The disk is chosen when the ray meets the axis at less than diskAngle.
    EXPECT_TRUE(BeginCylinderDrag(Ray({0, 5, 0}, {0.1f, -1, 0}), {1, 0, 0}, 0.262f).disk);
    EXPECT_FALSE(BeginCylinderDrag(Ray({0, 0, 5}, {0, 0, -1}), {1, 0, 0}, 0.262f).disk);
    EXPECT_FLOAT_EQ(BeginCylinderDrag(Ray({0, 0, 5}, {0, 0, -1}), {3, 1, 4}, 0.262f).radius, 5);
}

TEST(SensorMath, BoxesInTheView) {
    // A camera at the origin looking along -z.
    const glm::mat4 clip = glm::frustum(-0.1f, 0.1f, -0.1f, 0.1f, 0.1f, 100.0f);
    const glm::mat4 id(1.0f);
    const struct {
        const char* what;
        glm::vec3 center, size;
        bool seen;
    } kCases[] = {
        {"ahead", {0, 0, -10}, {1, 1, 1}, true},
        {"behind", {0, 0, 10}, {1, 1, 1}, false},
        {"far aside", {50, 0, -10}, {1, 1, 1}, false},
        {"reaching in from aside", {50, 0, -10}, {101, 1, 1}, true},
        {"round the camera", {0, 0, 0}, {4, 4, 4}, true},
        {"beyond the back plane", {0, 0, -200}, {1, 1, 1}, false},
    };
    for (const auto& c : kCases) EXPECT_EQ(BoxInView(c.center, c.size, id, clip), c.seen) << c.what;
    EXPECT_FALSE(BoxInView({0, 0, -10}, {1, 1, 1}, glm::mat4(NAN), clip));
}

// Every event as "NODE.field=value@time"; the hit events without their value.
class RecordingSink : public IEventSink {
  public:
    explicit RecordingSink(const VrmlLoader*& loader) : m_loader(loader) {}
    void Emit(SingleNode* node, int field, std::unique_ptr<Field> value, double time) override {
        std::string name = "?", fieldName, text;
        for (const std::string& def : m_loader->GetDefNames())
            if (m_loader->FindDef(def) == node) name = def;
        node->GetFieldName(field, fieldName);
        auto* single = dynamic_cast<SFField*>(value.get());
        ASSERT_NE(single, nullptr) << fieldName;
        single->ToString(text);
        EXPECT_EQ(text.find("nan"), std::string::npos) << fieldName << " " << text;
        values[name + "." + fieldName] = text;
        char at[32];
        std::snprintf(at, sizeof at, "@%g", time);
        const bool hitEvent = fieldName.starts_with("hit");
        events.push_back(name + "." + fieldName + (hitEvent ? "" : "=" + text) + at);
    }
    std::vector<std::string> events;
    std::map<std::string, std::string> values;  // the last of each

  private:
    const VrmlLoader*& m_loader;
};

// Reads "x,y,z" (a field's text form) as numbers.
std::vector<float> Numbers(const std::string& text) {
    std::vector<float> out;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) out.push_back(std::stof(part));
    return out;
}

class SensorTest : public ModuleTest<100, 100> {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        m_module.SetEventSink(&m_sink);
        m_module.SetClock([this] { return m_now; });
        m_module.SetInteractionMode(InteractionMode::Interact);
    }
    void Show(const std::string& text) {
        ModuleTest::Show(kView + text);
        m_scene = m_loader.get();
        m_sink.events.clear();
    }
    // Pointer actions: "cX,Y@T" click, "pX,Y@T" press, "mX,Y@T" move, "rX,Y@T" release.
    void Do(const std::string& actions) {
        std::stringstream in(actions);
        for (std::string a; in >> a;) {
            int x = 0, y = 0;
            double t = 0;
            ASSERT_EQ(std::sscanf(a.c_str() + 1, "%d,%d@%lf", &x, &y, &t), 3) << a;
            switch (a[0]) {
                case 'c':
                    m_module.Click(x, y, t);
                    break;
                case 'p':
                    m_module.PointerPress(x, y, t);
                    break;
                case 'm':
                    m_module.PointerMove(x, y, t);
                    break;
                case 'r':
                    m_module.PointerRelease(x, y, t);
                    break;
                default:
                    FAIL() << a;
            }
        }
    }
    // The camera 10 in front of the origin: a 2 x 2 x 2 box there spans pixels 36 to
    // 63 of the 100 x 100 view; the 1 x 1 x 1 box at x = 3, pixels 82 to 94.
    static constexpr const char* kView = "Viewpoint { position 0 0 10 }\n";
    const VrmlLoader* m_scene = nullptr;
    RecordingSink m_sink{m_scene};
    std::uint32_t m_now = 0;
};

const char kTouch[] =
    "Group { children [ DEF T TouchSensor {} Shape { geometry Box { size 2 2 2 } } ] }\n"
    "Transform { translation 3 0 0 children Shape { geometry Box { size 1 1 1 } } }";
const char kNested[] =
    "Group { children [ DEF OUTER TouchSensor {}\n"
    "  Group { children [ DEF INNER TouchSensor {} Shape { geometry Box { size 2 2 2 } } ] }\n"
    "  Transform { translation 3 0 0 children Shape { geometry Box { size 1 1 1 } } } ] }";

// The events of a click at t = 1 on what `name` senses: over, hit, pressed, released.
std::vector<std::string> Click(const std::string& name) {
    return {name + ".isOver=true@1",       name + ".hitPoint_changed@1",
            name + ".hitNormal_changed@1", name + ".hitTexCoord_changed@1",
            name + ".isActive=true@1",     name + ".isActive=false@1",
            name + ".touchTime=1.0@1"};
}

TEST_F(SensorTest, PointerEventsGoToTheInnermostEnabledSensorsOfTheGeometryHit) {
    const struct {
        const char* what;
        std::string scene, actions;
        std::vector<std::string> events;
        const char* disabled = nullptr;  // a TouchSensor switched off before the actions
    } kCases[] = {
        {"click on the sensed box", kTouch, "c50,50@1", Click("T")},
        {"click on the box beside it", kTouch, "c88,50@1", {}},
        {"click on nothing", kTouch, "c50,5@1", {}},
        {"a sensor at the root senses everything",
         "DEF T TouchSensor {} Shape { geometry Box { size 2 2 2 } }", "c50,50@1", Click("T")},
        {"a sensor beside no geometry",
         "Group { children DEF T TouchSensor {} } Shape { geometry Box { size 2 2 2 } }",
         "c50,50@1",
         {}},
        {"released off the box: no touchTime",
         kTouch,
         "p50,50@1 r50,5@2",
         {"T.isOver=true@1", "T.hitPoint_changed@1", "T.hitNormal_changed@1",
          "T.hitTexCoord_changed@1", "T.isActive=true@1", "T.isActive=false@2",
          "T.isOver=false@2"}},
        {"over, moved on, still, off",
         kTouch,
         "m50,50@1 m52,50@2 m52,50@3 m50,5@4",
         {"T.isOver=true@1", "T.hitPoint_changed@1", "T.hitNormal_changed@1",
          "T.hitTexCoord_changed@1", "T.hitPoint_changed@2", "T.hitNormal_changed@2",
          "T.hitTexCoord_changed@2", "T.isOver=false@4"}},
        {"nested: the inner one", kNested, "c50,50@1", Click("INNER")},
        {"nested: the outer one", kNested, "c88,50@1", Click("OUTER")},
        {"nested: the inner one disabled", kNested, "c50,50@1", Click("OUTER"), "INNER"},
        {"disabled alone", kTouch, "c50,50@1", {}, "T"},
    };
    for (const auto& c : kCases) {
        Show(c.scene);
        if (c.disabled) {
            auto* touch = dynamic_cast<TouchSensor*>(m_scene->FindDef(c.disabled));
            ASSERT_NE(touch, nullptr) << c.what;
            touch->enabled().Set(false);
        }
        Do(c.actions);
        EXPECT_EQ(m_sink.events, c.events) << c.what;
    }
}

TEST_F(SensorTest, HitValuesAndPlaneDragsInTheSensorsCoordinates) {
    // The sensor sits in a Transform moved by 5 in z: its coordinates put the box's
    // front face at z = 1.
    Show(
        "Transform { translation 0 0 -5 children [ DEF T TouchSensor {}\n"
        "  DEF P PlaneSensor { maxPosition 0.5 -1 offset 0 0 7 }\n"
        "  Shape { geometry Box { size 2 2 2 } } ] }");
    Do("m50,50@1");
    const std::vector<float> point = Numbers(m_sink.values["T.hitPoint_changed"]);
    ASSERT_EQ(point.size(), 3u);
    EXPECT_NEAR(point[2], 1, 1e-4);
    EXPECT_NEAR(point[0], 0.06f, 0.02f);  // half a pixel right of the middle
    EXPECT_EQ(Numbers(m_sink.values["T.hitNormal_changed"]), (std::vector<float>{0, 0, 1}));
    const std::vector<float> st = Numbers(m_sink.values["T.hitTexCoord_changed"]);
    ASSERT_EQ(st.size(), 2u);
    EXPECT_NEAR(st[0], 0.5f, 0.05f);
    EXPECT_NEAR(st[1], 0.5f, 0.05f);
    // Ten pixels right and ten up at distance 14: 10 * 2 * tan(fov / 2) * 14 / 100.
    m_sink.events.clear();
    Do("p50,50@2 m60,40@3 r60,40@4");
    const float step = 0.2f * std::tan(0.785398f / 2) * 14;
    EXPECT_NEAR(Numbers(m_sink.values["P.trackPoint_changed"])[2], 1, 1e-4);
    const std::vector<float> moved = Numbers(m_sink.values["P.translation_changed"]);
    ASSERT_EQ(moved.size(), 3u);
    EXPECT_NEAR(moved[0], 0.5f, 1e-5);   // clamped to maxPosition.x
    EXPECT_NEAR(moved[1], step, 0.01f);  // y is free (min > max)
    EXPECT_NEAR(moved[2], 7, 1e-5);      // the offset's z
    // autoOffset: the last translation becomes the offset, which the node keeps.
    EXPECT_EQ(m_sink.values["P.offset"], m_sink.values["P.translation_changed"]);
    auto* plane = dynamic_cast<PlaneSensor*>(m_scene->FindDef("P"));
    ASSERT_NE(plane, nullptr);
    EXPECT_NEAR(plane->offset().GetY(), step, 0.01f);
    EXPECT_EQ(m_sink.events.front(), "T.isActive=true@2");  // both siblings take the press
    const std::string offset = "P.offset=" + m_sink.values["P.offset"] + "@4";
    EXPECT_NE(std::find(m_sink.events.begin(), m_sink.events.end(), offset), m_sink.events.end());
}

// Dragged ten pixels right from the front of a unit sphere 9 away: each drag sensor
// moves or turns its value the way the pointer went, and autoOffset keeps it.
TEST_F(SensorTest, DragsFollowThePointer) {
    const struct {
        const char* sensor;
        const char* field;
        int component;
        float low, high;  // the range that component must lie in
    } kCases[] = {
        {"PlaneSensor", "translation_changed", 0, 0.70f, 0.80f},  // 0.2 * tan(fov / 2) * 9
        {"PlaneSensor", "translation_changed", 1, -0.01f, 0.01f},
        {"CylinderSensor", "rotation_changed", 1, 1.0f, 1.0f},    // about +y
        {"CylinderSensor", "rotation_changed", 3, 0.70f, 0.95f},  // about asin(0.75)
        {"SphereSensor", "rotation_changed", 1, 0.99f, 1.0f},
        {"SphereSensor", "rotation_changed", 3, 0.70f, 0.95f},
    };
    for (const auto& c : kCases) {
        Show(std::string("DEF S ") + c.sensor + " {} Shape { geometry Sphere {} }");
        Do("p50,50@1 m60,50@2 r60,50@3");
        const std::string field = std::string("S.") + c.field;
        const std::vector<float> value = Numbers(m_sink.values[field]);
        ASSERT_GT(value.size(), static_cast<std::size_t>(c.component)) << c.sensor;
        EXPECT_GE(value[c.component], c.low) << c.sensor << " " << c.component;
        EXPECT_LE(value[c.component], c.high) << c.sensor << " " << c.component;
        // The offset: the whole value, or a CylinderSensor's angle alone.
        const std::vector<float> offset = Numbers(m_sink.values["S.offset"]);
        ASSERT_FALSE(offset.empty()) << c.sensor;
        EXPECT_TRUE(std::equal(offset.rbegin(), offset.rend(), value.rbegin())) << c.sensor;
        EXPECT_EQ(m_sink.events.front(), "S.isActive=true@1") << c.sensor;
    }
}

TEST_F(SensorTest, ProximityAndVisibilityFollowTheCameraAtEachStep) {
    Show(
        "DEF FAR Viewpoint { position 0 0 40 description \"far\" }\n"
        "DEF NEAR Viewpoint { position 0 0 10 description \"near\" }\n"
        "Transform { translation 0 0 8 children DEF P ProximitySensor { size 6 6 6 } }\n"
        "DEF EMPTY ProximitySensor { center 0 0 10 }\n"
        "DEF V VisibilitySensor { size 1 1 1 }\n"
        "DEF BEHIND VisibilitySensor { center 0 0 30 size 1 1 1 }");
    m_module.GoToViewpoint("near");
    m_now = 1000;
    m_module.StepFrame();
    m_now = 2000;
    m_module.StepFrame();  // nothing moved: nothing new
    m_module.GoToViewpoint("far");
    m_now = 3000;
    m_module.StepFrame();
    const std::vector<std::string> kWant = {
        "P.isActive=true@1",
        "P.enterTime=1.0@1",
        "P.position_changed=0.0,0.0,2.0@1",
        "P.orientation_changed=0.0,0.0,1.0,0.0@1",
        "V.isActive=true@1",
        "V.enterTime=1.0@1",
        "P.isActive=false@3",
        "P.exitTime=3.0@3",
        "BEHIND.isActive=true@3",  // now before the camera
        "BEHIND.enterTime=3.0@3",
    };
    EXPECT_EQ(m_sink.events, kWant);
}

TEST_F(SensorTest, AnchorsBindViewpointsOrOpenFiles) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvane_anchor_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "next.wrl") << "#VRML V2.0 utf8\n";
    std::vector<std::string> opened;
    m_module.SetAnchorHandler([&](const std::string& file) { opened.push_back(file); });
    const char* kScene =
        "DEF FAR Viewpoint { position 0 0 40 description \"far\" }\n"
        "Viewpoint { position 0 0 10 }\n"
        "Anchor { url \"#FAR\" children Shape { geometry Box { size 2 2 2 } } }\n"
        "Anchor { url [ \"missing.wrl\" \"next.wrl\" ] children Transform { translation 3 0 0 "
        "  children Shape { geometry Box { size 1 1 1 } } } }\n"
        "Anchor { url \"missing.wrl\" children Transform { translation 0 3 0 "
        "  children Shape { geometry Box { size 1 1 1 } } } }";
    m_loader = LoadText(kScene);
    m_scene = m_loader.get();
    m_module.ClearWorld();
    m_module.ResetScene();
    m_module.SetScene(m_loader->GetSceneRoot(), &m_loader->GetRouteList(),
                      (dir / "scene.wrl").string());
    const VrmlLoader* loader = m_loader.get();
    m_module.SetDefLookup([loader](const std::string& name) { return loader->FindDef(name); });
    rm::Frame* camera = m_module.GetD3DObj().GetCamera();
    auto cameraZ = [&] { return camera->GetPosition(m_module.GetD3DObj().GetScene()).z; };
    EXPECT_FLOAT_EQ(cameraZ(), 10);
    // Pressed on one Anchor, released beside it: nothing.
    Do("p88,50@1 r50,5@1");
    EXPECT_TRUE(opened.empty());
    Do("c88,50@1");  // the first url that names a file there
    EXPECT_EQ(opened, std::vector<std::string>{(dir / "next.wrl").string()});
    Do("c50,16@1");  // nothing to open: said once
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(m_messages.Count("Anchor: cannot open missing.wrl"), 1);
    EXPECT_FLOAT_EQ(cameraZ(), 10);
    Do("c50,50@2");
    EXPECT_FLOAT_EQ(cameraZ(), 40);
    m_module.SetDefLookup(nullptr);  // "#FAR" is then no viewpoint's description
    m_module.GoToViewpoint("[Entry]");
    Do("c50,50@3");
    EXPECT_EQ(m_messages.Count("Anchor: no viewpoint #FAR"), 1);
    EXPECT_TRUE(m_sink.events.empty());  // Anchors send no events
    std::filesystem::remove_all(dir);
}

// The viewer's mouse in the interact state: a press on sensed geometry goes to the
// sensors and holds the view; elsewhere the mouse moves the view as in Navigate.
TEST_F(SensorTest, InteractModeSendsPressesOnSensedGeometryToSensors) {
    Show(kTouch);
    m_now = 5000;
    rm::Frame* world = m_module.GetD3DObj().GetWorld();
    const glm::mat4 placed = world->GetLocalTransform();
    m_module.OnMouseMove(50, 50, 0);
    m_module.OnLButtonDown(50, 50, kMkLButton);
    m_module.OnMouseMove(60, 50, kMkLButton);
    EXPECT_TRUE(m_module.IsMouseCaptured());
    m_module.OnLButtonUp(60, 50, 0);
    EXPECT_FALSE(m_module.IsMouseCaptured());
    EXPECT_EQ(world->GetLocalTransform(), placed);
    EXPECT_EQ(m_sink.values["T.touchTime"], "5.0");
    // Beside the sensed box the drag moves the world.
    m_module.OnMouseMove(50, 5, 0);
    m_module.OnLButtonDown(50, 5, kMkLButton);
    m_module.OnMouseMove(60, 5, kMkLButton);
    m_module.OnLButtonUp(60, 5, 0);
    EXPECT_NE(world->GetLocalTransform(), placed);
}

}  // namespace
