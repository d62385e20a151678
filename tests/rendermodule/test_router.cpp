// The router with time stepped by hand: what moves, when, and what is reported.
#include "node/nodes.h"
#include "rendermodule/render_module.h"
#include "scene_fixture.h"

namespace {

// The entry of `node` in a translation table; throws when there is none.
template <class Table>
const auto& EntryOf(const Table& table, const SingleNode* node) {
    auto it = table.find(node);
    if (it == table.end()) throw std::out_of_range("no table entry for the node");
    return it->second;
}

class RouterTest : public ModuleTest<32, 32> {
  protected:
    void Show(const std::string& text) {
        ModuleTest::Show(text);
        m_router().SetStartTime(kStart);
    }
    CRouter& m_router() { return m_module.GetRouter(); }
    const std::vector<rm::Ptr<rm::Object>>& ObjectsOf(const char* def) {
        return EntryOf(m_module.GetTraverser().GetDealer().NodeObjects(), m_loader->FindDef(def));
    }
    rm::Frame* FrameOf(const char* def) {
        return dynamic_cast<rm::Frame*>(ObjectsOf(def)[0].Get());
    }
    rm::Frame* World() { return m_module.GetD3DObj().GetWorld(); }
    rm::Frame* Camera() { return m_module.GetD3DObj().GetCamera(); }
    glm::vec3 Position(const char* def) { return FrameOf(def)->GetPosition(World()); }
    void At(std::uint32_t ms) { m_router().Refresh(kStart + ms); }

    static constexpr std::uint32_t kStart = 100000;
};

const char* kMover =
    "DEF T TimeSensor { cycleInterval 2 loop %s startTime %s }"
    "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 10 20 30 ] }"
    "DEF X Transform { children Shape { geometry Box {} } }"
    "ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation";

std::string Mover(const char* loop, const char* start) {
    char text[512];
    std::snprintf(text, sizeof text, kMover, loop, start);
    return text;
}

TEST_F(RouterTest, LoopingPositionRepeatsEveryCycle) {
    Show(Mover("TRUE", "0"));
    ASSERT_EQ(m_router().Records().size(), 1u);
    At(500);
    glm::vec3 quarter = Position("X");
    EXPECT_NEAR(quarter.x, 2.5, 1e-4);
    EXPECT_NEAR(quarter.y, 5, 1e-4);
    EXPECT_NEAR(quarter.z, 7.5, 1e-4);
    At(1000);
    EXPECT_NEAR(Position("X").x, 5, 1e-4);
    At(2500);
    EXPECT_NEAR(Position("X").x, 2.5, 1e-4);
    EXPECT_TRUE(m_messages.texts.empty());
}

TEST_F(RouterTest, WithoutLoopTheLastKeyHolds) {
    Show(Mover("FALSE", "0"));
    At(3000);
    EXPECT_NEAR(Position("X").x, 10, 1e-4);
    At(9000);
    EXPECT_NEAR(Position("X").z, 30, 1e-4);
}

TEST_F(RouterTest, NothingMovesBeforeTheStartTime) {
    Show("DEF X2 Transform { translation 7 7 7 }" + Mover("TRUE", "1"));
    At(999);
    EXPECT_EQ(Position("X"), glm::vec3(0, 0, 0));
    At(1500);
    EXPECT_NEAR(Position("X").x, 2.5, 1e-4);
}

// An interpolator with keys 0 and 1, fed by the TimeSensor T, driving `target`.
std::string Drive(const char* def, const char* type, const char* values, const char* target) {
    return std::string("DEF ") + def + " " + type + " { key [ 0 1 ] keyValue [ " + values +
           " ] } ROUTE T.fraction_changed TO " + def + ".set_fraction ROUTE " + def +
           ".value_changed TO " + target + " ";
}
const char* kPosition = "PositionInterpolator";
const char* kOrientation = "OrientationInterpolator";
const char* kClock = "DEF T TimeSensor { cycleInterval 1 loop TRUE } ";

// Where a point of X's children is at 500 ms (half the cycle): the driven field
// has its halfway value, every other field keeps the node's.
struct FieldCase {
    const char* name;
    const char* fields;  // of DEF X Transform
    std::string routes;
    glm::vec3 point, expected;
};

TEST_F(RouterTest, AnimationChangesOnlyTheFieldItDrives) {
    const FieldCase cases[] = {
        // -center (1,0,0), scale (2,0,0), quarter turn about z (0,2,0), +center, +translation.
        {"rotation keeps translation, scale and center",
         "translation 5 0 0 scale 2 2 2 center 1 0 0",
         Drive("O", kOrientation, "0 0 1 0, 0 0 1 3.14159265", "X.set_rotation"),
         {2, 0, 0},
         {6, 2, 0}},
        // scale (2,0,0), quarter turn about z (0,2,0), translation (5,10,15).
        {"translation keeps rotation and scale",
         "rotation 0 0 1 1.5707963 scale 2 2 2",
         Drive("P", kPosition, "0 0 0, 10 20 30", "X.set_translation"),
         {1, 0, 0},
         {5, 12, 15}},
        {"scale keeps rotation and translation",
         "rotation 0 0 1 1.5707963 translation 0 0 5",
         Drive("P", kPosition, "0 0 0, 4 4 4", "X.scale"),
         {1, 0, 0},
         {0, 2, 5}},
        // The centre (1,0,0) of a half turn about z takes the origin to (2,0,0).
        {"center keeps rotation",
         "rotation 0 0 1 3.14159265",
         Drive("P", kPosition, "0 0 0, 2 0 0", "X.center"),
         {0, 0, 0},
         {2, 0, 0}},
        // Halfway, the scaleOrientation is a quarter turn about z: the scale of 3 acts along y.
        {"scaleOrientation keeps scale",
         "scale 3 1 1",
         Drive("O", kOrientation, "0 0 1 0, 0 0 1 3.14159265", "X.scaleOrientation"),
         {0, 1, 0},
         {0, 3, 0}},
        // Rising and turning together: a quarter turn about y takes (1,0,0) to (0,0,-1).
        {"position and orientation routes to one Transform",
         "",
         Drive("P", kPosition, "0 0 0, 0 10 0", "X.translation") +
             Drive("O", kOrientation, "0 1 0 0, 0 1 0 3.14159265", "X.rotation"),
         {1, 0, 0},
         {0, 5, -1}},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        Show(kClock + std::string("DEF X Transform { ") + c.fields +
             " children Shape { geometry Box {} } } " + c.routes);
        At(500);
        glm::vec4 p = FrameOf("X")->GetTransform(World()) * glm::vec4(c.point, 1);
        EXPECT_NEAR(p.x, c.expected.x, 1e-4);
        EXPECT_NEAR(p.y, c.expected.y, 1e-4);
        EXPECT_NEAR(p.z, c.expected.z, 1e-4);
        EXPECT_TRUE(m_messages.texts.empty());
    }
}

// Where the camera stands and looks at a time, after going to a viewpoint.
struct CameraCase {
    const char* name;
    std::string scene;
    const char* goTo;  // null: stay with the viewpoint bound at load (the last)
    std::uint32_t ms;
    glm::vec3 position, dir;
};

TEST_F(RouterTest, TheCameraFollowsTheBoundViewpoint) {
    const std::string moving =
        "DEF X Transform { rotation 0 1 0 1.5707963 children"
        " Viewpoint { position 0 0 5 description \"Moving\" } } " +
        Drive("P", kPosition, "0 0 0, 10 0 0", "X.translation");
    const CameraCase cases[] = {
        {"position keeps the orientation",
         "DEF V Viewpoint { orientation 0 1 0 1.5707963 } " +
             Drive("P", kPosition, "0 0 0, 0 0 100", "V.set_position"),
         nullptr,
         250,
         {0, 0, 25},
         {-1, 0, 0}},
        {"orientation keeps the position",
         "DEF V Viewpoint { position 1 2 3 } " +
             Drive("O", kOrientation, "0 1 0 0, 0 1 0 3.14159265", "V.orientation"),
         nullptr,
         500,
         {1, 2, 3},
         {-1, 0, 0}},
        // The Transform turns the viewpoint's (0,0,5) to (5,0,0) and its view to -x,
        // then its translation, (5,0,0) at 500 ms, moves it on.
        {"a viewpoint in an animated Transform", moving, nullptr, 500, {10, 0, 0}, {-1, 0, 0}},
        {"a viewpoint not bound stays",
         moving + "Viewpoint { position 0 0 20 }",
         nullptr,
         500,
         {0, 0, 20},
         {0, 0, -1}},
        {"going to a viewpoint binds it",
         moving + "Viewpoint { position 0 0 20 }",
         "Moving",
         250,
         {7.5, 0, 0},
         {-1, 0, 0}},
        {"the entry view follows none", moving, "[Entry]", 500, {0, 0, 10}, {0, 0, -1}},
    };
    for (const CameraCase& c : cases) {
        SCOPED_TRACE(c.name);
        Show(kClock + c.scene);
        if (c.goTo) m_module.GoToViewpoint(c.goTo);
        At(c.ms);
        rm::Frame* scene = m_module.GetD3DObj().GetScene();
        glm::vec3 p = Camera()->GetPosition(scene), dir, up;
        Camera()->GetOrientation(scene, &dir, &up);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(p[i], c.position[i], 1e-4);
            EXPECT_NEAR(dir[i], c.dir[i], 1e-4);
        }
        EXPECT_TRUE(m_messages.texts.empty());
    }
}

// Every object translation made for node D (a frame per use of a Transform, a
// meshbuilder per shape a Material colours) shows the value at 500 ms: a
// frame's translation, a material's diffuse (ambient) colour.
struct SharedCase {
    const char* name;
    std::string scene;
    std::size_t uses;
    glm::vec3 expected;
};

TEST_F(RouterTest, SharedNodesAnimateEverywhere) {
    const std::string paint = Drive("C", "ColorInterpolator", "0 0 0, 1 0.5 0", "D.diffuseColor");
    const std::string box = " geometry Box {} } ";
    const SharedCase cases[] = {
        {"a Transform used twice",
         "Transform { translation -5 0 0 children DEF D Transform { children Shape {" + box +
             "} } Transform { translation 5 0 0 children USE D } " +
             Drive("P", kPosition, "0 0 0, 0 4 0", "D.translation"),
         2,
         {0, 2, 0}},
        {"a Material shared by two shapes",
         "Shape { appearance Appearance { material DEF D Material {} }" + box +
             "Shape { appearance Appearance { material USE D }" + box + paint,
         2,
         {0.5, 0.25, 0}},
        {"a Shape used twice",
         "DEF S Shape { appearance Appearance { material DEF D Material {} }" + box +
             "Transform { children USE S } " + paint,
         2,
         {0.5, 0.25, 0}},
        {"one interpolator routed to two Transforms",
         "DEF D Transform {} DEF E Transform {} " +
             Drive("P", kPosition, "0 0 0, 0 4 0", "D.translation") +
             "ROUTE P.value_changed TO E.translation",
         1,
         {0, 2, 0}},
    };
    for (const SharedCase& c : cases) {
        SCOPED_TRACE(c.name);
        Show(kClock + c.scene);
        At(500);
        std::vector<const rm::Object*> objects;
        for (const char* def : {"D", "E"}) {
            if (m_loader->FindDef(def) == nullptr) continue;
            for (const auto& object : ObjectsOf(def)) objects.push_back(object.Get());
        }
        ASSERT_EQ(ObjectsOf("D").size(), c.uses);
        for (const rm::Object* object : objects) {
            glm::vec3 value(-1);
            if (auto* frame = dynamic_cast<const rm::Frame*>(object))
                value = frame->GetLocalTransform()[3];
            else if (auto* mb = dynamic_cast<const rm::MeshBuilder*>(object))
                value = mb->GetMaterial()->GetAmbient().value_or(glm::vec3(-1));
            EXPECT_EQ(value, c.expected);
        }
        EXPECT_TRUE(m_messages.texts.empty());
    }
}

TEST_F(RouterTest, ColourRoutesChangeOnlyTheColourTheyDrive) {
    Show(
        "DEF T TimeSensor { cycleInterval 1 loop TRUE }"
        "DEF C ColorInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 1 1 0 ] }"
        "DEF C2 ColorInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 0 0 1 ] }"
        "Shape { appearance Appearance { material DEF M Material { diffuseColor 0 1 0"
        " specularColor 0.5 0.5 0.5 } } geometry Box {} }"
        "ROUTE T.fraction_changed TO C.set_fraction ROUTE C.value_changed TO M.emissiveColor"
        " ROUTE T.fraction_changed TO C2.set_fraction ROUTE C2.value_changed TO M.specularColor");
    At(500);
    rm::MeshBuilder* mb = m_module.GetD3DObj().GetWorld()->Visuals()[0].Get();
    rm::Material* m = mb->GetMaterial();
    ASSERT_NE(m, nullptr);
    // The specular route, applied last, keeps the emissive the first one set.
    EXPECT_EQ(m->GetEmissive(), glm::vec3(0.5f, 0.5f, 0));
    EXPECT_EQ(m->GetSpecular(), glm::vec3(0, 0, 0.5f));
    EXPECT_EQ(m->GetAmbient().value(), glm::vec3(0, 1, 0));
}

TEST_F(RouterTest, UnsupportedRoutesAreReportedAndIgnored) {
    Show(
        "DEF T TimeSensor {} DEF S ScalarInterpolator { key [ 0 1 ] keyValue [ 0 1 ] }"
        "DEF X Transform {}"
        "ROUTE T.fraction_changed TO S.set_fraction ROUTE S.value_changed TO X.set_scale");
    EXPECT_EQ(m_messages.Count("CRoute::DealRoute, unrecognized node id"), 1);
    EXPECT_EQ(m_messages.Count("cannot find Interpolator! CRouter::Route_TimeSensor"), 1);
    EXPECT_EQ(m_messages.Count("unrecognized node name, CRouter::Route_TImeSensor"), 1);
    // The record without keys is never interpolated; its kind is reported at each
    // refresh, and shown once in the scene.
    At(10);
    At(20);
    EXPECT_EQ(m_messages.Count("unrecognized Interpolator in CRouter::Refresh()"), 1);
    const MessageRepeat rule = SetMessageRepeat(MessageRepeat::kEveryTime);
    At(30);
    At(40);
    SetMessageRepeat(rule);
    EXPECT_EQ(m_messages.Count("unrecognized Interpolator in CRouter::Refresh()"), 3);
}

TEST_F(RouterTest, ZeroCycleHoldsTheFirstKeyAndUnfedInterpolatorsAreIgnored) {
    Show(
        "DEF T TimeSensor { cycleInterval 0 loop TRUE }"
        "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 3 0 0, 9 0 0 ] }"
        "DEF Q PositionInterpolator { key [ 0 ] keyValue [ 1 1 1 ] }"
        "DEF X Transform {} DEF Y Transform {}"
        " ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation"
        " ROUTE Q.value_changed TO Y.translation");
    EXPECT_EQ(m_router().Records().size(), 1u);
    At(777);
    EXPECT_EQ(Position("X"), glm::vec3(3, 0, 0));
    EXPECT_EQ(Position("Y"), glm::vec3(0, 0, 0));
    EXPECT_TRUE(m_messages.texts.empty());
}

}  // namespace
