// The router with time stepped by hand: what moves, when, and what is reported.
#include <functional>
#include <map>

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
    Show(Mover("FALSE", "0.5"));
    At(3000);
    EXPECT_NEAR(Position("X").x, 10, 1e-4);
    At(9000);
    EXPECT_NEAR(Position("X").z, 30, 1e-4);
    // A single cycle the file starts at the load (or before) ended before it.
    Show(Mover("FALSE", "0"));
    At(1000);
    EXPECT_EQ(Position("X"), glm::vec3(0, 0, 0));
}

TEST_F(RouterTest, NothingMovesBeforeTheStartTime) {
    Show("DEF X2 Transform { translation 7 7 7 }" + Mover("TRUE", "1"));
    At(999);
    EXPECT_EQ(Position("X"), glm::vec3(0, 0, 0));
    At(1500);
    EXPECT_NEAR(Position("X").x, 2.5, 1e-4);
}

TEST_F(RouterTest, KeysAreFoundWhicheverWayTheFractionMoves) {
    // Five keys with a jump at 0.5: each step starts from the segment of the
    // step before, forwards, backwards and across several segments.
    Show(
        "DEF T TimeSensor { cycleInterval 1 loop TRUE }"
        "DEF P PositionInterpolator { key [ 0 0.25 0.5 0.5 1 ]"
        " keyValue [ 0 0 0, 10 0 0, 20 0 0, 40 0 0, 50 0 0 ] }"
        "DEF X Transform { children Shape { geometry Box {} } }"
        "ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation");
    const std::pair<std::uint32_t, float> steps[] = {{100, 4},  {400, 16},   {300, 12}, {500, 40},
                                                     {750, 45}, {200, 8},    {600, 42}, {450, 18},
                                                     {250, 10}, {990, 49.8f}};
    for (const auto& [ms, x] : steps) {
        At(ms);
        EXPECT_NEAR(Position("X").x, x, 1e-4) << ms;
    }
    EXPECT_TRUE(m_messages.texts.empty());
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
        // Two steps: the second moves frames placed once already.
        At(250);
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
        // The scene's first viewpoint is bound at load.
        {"a viewpoint not bound stays",
         "Viewpoint { position 0 0 20 } " + moving,
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

// Routes that cannot carry events are dropped at load, each with one message naming it.
TEST_F(RouterTest, RoutesThatCannotCarryEventsAreDropped) {
    const struct {
        const char* route;
        const char* message;
    } cases[] = {
        {"ROUTE S.value_changed TO X.set_scale",
         "ROUTE ScalarInterpolator.value_changed TO Transform.scale dropped: SFFloat to SFVec3f"},
        {"ROUTE T.fraction_changed TO V.description",
         "ROUTE TimeSensor.fraction_changed TO Viewpoint.description dropped: "
         "Viewpoint.description takes no events"},
        {"ROUTE S.set_fraction TO S.set_fraction",
         "ROUTE ScalarInterpolator.set_fraction TO ScalarInterpolator.set_fraction dropped: "
         "ScalarInterpolator.set_fraction sends no events"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.route);
        m_messages.texts.clear();
        Show(std::string(
                 "DEF T TimeSensor {} DEF S ScalarInterpolator { key [ 0 1 ] keyValue [ 0 1 ] }"
                 "DEF X Transform {} DEF V Viewpoint {} ROUTE T.fraction_changed TO "
                 "S.set_fraction ") +
             c.route);
        EXPECT_EQ(m_messages.texts, std::vector<std::string>{c.message});
        At(500);
        EXPECT_EQ(Position("X"), glm::vec3(0, 0, 0));
    }
}

TEST_F(RouterTest, ZeroCycleHoldsTheFirstKeyAndUnfedInterpolatorsAreIgnored) {
    Show(
        "DEF T TimeSensor { cycleInterval 0 loop TRUE }"
        "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 3 0 0, 9 0 0 ] }"
        "DEF Q PositionInterpolator { key [ 0 ] keyValue [ 1 1 1 ] }"
        "DEF X Transform {} DEF Y Transform {}"
        " ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation"
        " ROUTE Q.value_changed TO Y.translation");
    At(777);
    At(900);
    EXPECT_EQ(Position("X"), glm::vec3(3, 0, 0));
    EXPECT_EQ(Position("Y"), glm::vec3(0, 0, 0));
    EXPECT_EQ(
        m_messages.texts,
        std::vector<std::string>{
            "TimeSensor: cycleInterval must be a number greater than 0; it stays at fraction 0"});
}

}  // namespace

// ---- The cascade: order, loop rule, receivers, TimeSensor rules, bind stacks ----

// Stands in for a Script: logs each event it gets as "DEF.field=value@time" and
// "processed" at the end of each step; `then` may emit more.
struct Recorder : IEventReceiver {
    std::map<const SingleNode*, std::string> names;
    std::vector<std::string> log;
    std::function<void(SingleNode*, IEventSink&, double)> then;
    void Receive(SingleNode* node, int field, const Field& value, double time,
                 IEventSink& out) override {
        std::string name, text;
        node->GetFieldName(field, name);
        if (auto* sf = dynamic_cast<const SFField*>(&value)) sf->ToString(text);
        if (auto* mf = dynamic_cast<const MultiField*>(&value)) mf->ToString(text);
        char at[32];
        std::snprintf(at, sizeof at, "@%g", time);
        log.push_back(names[node] + "." + name + "=" + text + at);
        if (then) then(node, out, time);
    }
    void EventsProcessed(double, IEventSink&) override { log.push_back("processed"); }
};

class CascadeTest : public RouterTest {
  protected:
    SingleNode* Def(const char* name) { return m_loader->FindDef(name); }
    void Record(std::initializer_list<const char*> defs) {
        for (const char* d : defs) {
            m_recorder.names[Def(d)] = d;
            m_router().SetReceiver(Def(d), &m_recorder);
        }
    }
    std::string Text(const char* def, const char* field) {
        std::string text;
        SingleNode* node = Def(def);
        for (int i = 0; i < 64; ++i) {
            std::string name;
            if (node->GetFieldName(i, name) != 0) break;
            if (name != field) continue;
            Field* f = node->GetField(i);
            if (auto* sf = dynamic_cast<SFField*>(f)) sf->ToString(text);
            if (auto* mf = dynamic_cast<MultiField*>(f)) mf->ToString(text);
        }
        return text;
    }
    Recorder m_recorder;
};

TEST_F(CascadeTest, FanOutInRouteOrderBreadthFirstAndOneEventPerRoutePerTimestamp) {
    Show(
        "DEF S PositionInterpolator {} DEF A Transform {} DEF B Transform {} DEF C Transform {}"
        " ROUTE S.value_changed TO A.translation ROUTE S.value_changed TO B.translation"
        " ROUTE A.translation_changed TO C.translation ROUTE B.translation_changed TO C.scale"
        " ROUTE C.translation_changed TO A.set_translation");
    Record({"C"});
    // C passes on what it gets, as a script would: back to A, whose route to C
    // has carried its event for this timestamp already.
    m_recorder.then = [](SingleNode* c, IEventSink& out, double t) {
        out.Emit(c, 7, std::make_unique<SFVec3f>(7, 8, 9), t);  // translation
    };
    for (double t : {1.0, 2.0}) {
        m_router().Emit(Def("S"), 3, std::make_unique<SFVec3f>(1, 2, 3), t);
        m_router().Step(t);
    }
    const char* expected[] = {"C.translation=1.0,2.0,3.0@1", "C.scale=1.0,2.0,3.0@1", "processed",
                              "C.translation=1.0,2.0,3.0@2", "C.scale=1.0,2.0,3.0@2", "processed"};
    EXPECT_EQ(m_recorder.log, std::vector<std::string>(std::begin(expected), std::end(expected)));
    // S->A, S->B, A->C, B->C, C->A at each time, and A's frame shows the last value.
    EXPECT_EQ(m_router().Delivered(), 10u);
    EXPECT_EQ(Text("A", "translation"), "7.0,8.0,9.0");
    EXPECT_EQ(Position("A"), glm::vec3(7, 8, 9));
}

TEST_F(CascadeTest, ACycleOfRoutesEndsByTheLoopRule) {
    Show(
        "DEF A Transform {} DEF B Transform {} ROUTE A.translation_changed TO B.translation"
        " ROUTE B.translation_changed TO A.translation DEF S PositionInterpolator {}"
        " ROUTE S.value_changed TO A.translation");
    m_router().Emit(Def("S"), 3, std::make_unique<SFVec3f>(4, 5, 6), 1.0);
    m_router().Step(1.0);
    EXPECT_EQ(m_router().Delivered(), 3u);  // S->A, A->B, B->A; then A->B has carried its event
    EXPECT_EQ(Position("B"), glm::vec3(4, 5, 6));
}

// Interpolators feeding interpolators send on at once; a chain longer than that
// nesting allows goes on through the queue, and the value arrives either way.
TEST_F(CascadeTest, LongChainsOfInterpolatorsCarryTheirValue) {
    for (int length : {3, 40}) {
        SCOPED_TRACE(length);
        std::string nodes = kClock + std::string("DEF D Material {} ");
        std::string routes = "ROUTE T.fraction_changed TO S0.set_fraction ";
        for (int i = 0; i < length; ++i) {
            const std::string name = "S" + std::to_string(i);
            const bool last = i + 1 == length;
            nodes += "DEF " + name + " ScalarInterpolator { key [ 0 1 ] keyValue [ 0 " +
                     (last ? "0.8" : "1") + " ] } ";
            routes += "ROUTE " + name + ".value_changed TO " +
                      (last ? "D.transparency " : "S" + std::to_string(i + 1) + ".set_fraction ");
        }
        Show(nodes + routes);
        const std::uint64_t before = m_router().Delivered();
        At(250);
        At(500);
        EXPECT_EQ(Text("D", "transparency"), "0.4");
        EXPECT_EQ(m_router().Delivered() - before, 2u * static_cast<unsigned>(length + 1));
    }
}

// A TimeSensor T stepped at the given times: what it sends to a recording F
// (fraction_changed), R (isActive as R.enabled, cycleTime as R.startTime).
struct SensorCase {
    const char* name;
    const char* fields;
    std::vector<double> steps;
    std::vector<std::string> log;
};

TEST_F(CascadeTest, TimeSensorStartsRunsAndStops) {
    const SensorCase cases[] = {
        {"once, after the load",
         "cycleInterval 2 startTime 0.5",
         {0, 0.5, 1.5, 3, 4},
         {"R.enabled=true@0.5", "R.startTime=0.5@0.5", "F.set_fraction=0.0@0.5",
          "F.set_fraction=0.5@1.5", "F.set_fraction=1.0@3", "R.enabled=false@3"}},
        {"once from 0: over before the load", "cycleInterval 2", {0, 1, 3}, {}},
        {"later start, looping",
         "cycleInterval 2 loop TRUE startTime 1",
         {0.5, 2, 3.5},
         {"R.enabled=true@2", "R.startTime=2.0@2", "F.set_fraction=0.5@2", "R.startTime=3.5@3.5",
          "F.set_fraction=0.25@3.5"}},
        {"stopped by stopTime",
         "loop TRUE stopTime 2.5",
         {0, 2.2, 3},
         {"R.enabled=true@0", "R.startTime=0.0@0", "F.set_fraction=0.0@0", "R.startTime=2.2@2.2",
          "F.set_fraction=0.2@2.2", "F.set_fraction=0.5@3", "R.enabled=false@3"}},
        {"disabled", "enabled FALSE loop TRUE", {0, 1}, {}},
        {"stopTime before startTime is not a stop",
         "loop TRUE startTime 1 stopTime 0.5 cycleInterval 4",
         {2},
         {"R.enabled=true@2", "R.startTime=2.0@2", "F.set_fraction=0.25@2"}},
    };
    for (const SensorCase& c : cases) {
        SCOPED_TRACE(c.name);
        Show(std::string("DEF T TimeSensor { ") + c.fields +
             " } DEF F ScalarInterpolator {} DEF R TimeSensor { enabled FALSE }"
             " ROUTE T.fraction_changed TO F.set_fraction ROUTE T.isActive TO R.enabled"
             " ROUTE T.cycleTime TO R.startTime");
        m_recorder = Recorder{};
        Record({"F", "R"});
        for (double t : c.steps) m_router().Step(t);
        std::vector<std::string> log;
        for (const auto& line : m_recorder.log)
            if (line != "processed") log.push_back(line);
        EXPECT_EQ(log, c.log);
    }
}

TEST_F(CascadeTest, AStartTimeSetByAnEventStartsTheSensorThen) {
    Show(
        "DEF K TimeSensor { enabled FALSE } DEF U TimeSensor { cycleInterval 2 startTime 100 }"
        " DEF F ScalarInterpolator {} ROUTE K.cycleTime TO U.startTime"
        " ROUTE U.fraction_changed TO F.set_fraction");
    Record({"F"});
    m_router().Step(2);
    m_router().Emit(Def("K"), 5, std::make_unique<SFTime>(3.0), 3.0);
    m_router().Step(3);
    m_router().Step(4);
    const char* expected[] = {"F.set_fraction=0.0@3", "processed", "F.set_fraction=0.5@4",
                              "processed"};
    EXPECT_EQ(m_recorder.log, std::vector<std::string>(std::begin(expected), std::end(expected)));
}

TEST_F(CascadeTest, SetBindMovesViewpointsOnAndOffTheStack) {
    Show(
        "DEF V1 Viewpoint { position 0 0 5 } DEF V2 Viewpoint { position 0 0 30 description "
        "\"Far\" }"
        " DEF B TimeSensor { enabled FALSE } DEF R TimeSensor { enabled FALSE }"
        " ROUTE B.isActive TO V2.set_bind ROUTE V1.isBound TO R.enabled"
        " ROUTE V2.isBound TO R.set_enabled");
    Record({"R"});
    rm::Frame* scene = m_module.GetD3DObj().GetScene();
    const auto z = [&] { return Camera()->GetPosition(scene).z; };
    m_router().Step(0);
    EXPECT_EQ(m_router().BoundNode(Viewpoint::kNodeType), Def("V1"));
    EXPECT_NEAR(z(), 5, 1e-4);  // the first viewpoint, not the last
    m_router().Emit(Def("B"), 7, std::make_unique<SFBool>(true), 1);
    m_router().Step(1);
    EXPECT_EQ(m_router().BoundNode(Viewpoint::kNodeType), Def("V2"));
    EXPECT_NEAR(z(), 30, 1e-4);
    m_router().Emit(Def("B"), 7, std::make_unique<SFBool>(false), 2);
    m_router().Step(2);
    EXPECT_EQ(m_router().BoundNode(Viewpoint::kNodeType), Def("V1"));
    EXPECT_NEAR(z(), 5, 1e-4);
    // Going to a viewpoint from the viewer's list binds it as set_bind does.
    m_module.SetClock([] { return kStart + 3000; });
    m_module.GoToViewpoint("Far");
    m_router().Step(3);
    EXPECT_EQ(m_router().BoundNode(Viewpoint::kNodeType), Def("V2"));
    EXPECT_NEAR(z(), 30, 1e-4);
    const char* expected[] = {"R.enabled=true@0", "processed", "R.enabled=false@1",
                              "R.enabled=true@1", "processed", "R.enabled=false@2",
                              "R.enabled=true@2", "processed", "R.enabled=false@3",
                              "R.enabled=true@3", "processed"};
    EXPECT_EQ(m_recorder.log, std::vector<std::string>(std::begin(expected), std::end(expected)));
}

// The bound Fog covers the scene: its fields follow events, and unbinding it
// leaves the scene without fog.
TEST_F(CascadeTest, TheBoundFogFollowsItsFields) {
    Show(
        "DEF F Fog { fogType \"EXPONENTIAL\" visibilityRange 10 } DEF S ScalarInterpolator {}"
        " DEF B TimeSensor {} ROUTE S.value_changed TO F.visibilityRange"
        " ROUTE B.isActive TO F.set_bind");
    const rm::Fog& fog = m_module.GetD3DObj().GetScene()->GetSceneFog();
    EXPECT_EQ(fog.type, rm::FogType::Exponential);
    m_router().Emit(Def("S"), 3, std::make_unique<SFFloat>(25.0f), 1);
    m_router().Step(1);
    EXPECT_EQ(fog.visibilityRange, 25.0f);
    m_router().Emit(Def("B"), 7, std::make_unique<SFBool>(false), 2);
    m_router().Step(2);
    EXPECT_FALSE(fog.On());
    // A scene without Fog has none, whatever the scene before had.
    Show("DEF F Fog { visibilityRange 10 }");
    EXPECT_TRUE(m_module.GetD3DObj().GetScene()->GetSceneFog().On());
    Show("Group {}");
    EXPECT_FALSE(m_module.GetD3DObj().GetScene()->GetSceneFog().On());
}

// Each interpolator at a quarter of its cycle, into a field of its value type;
// bad key lists send nothing and say so once.
struct InterpolatorCase {
    const char* name;
    std::string scene;  // DEF I <interpolator> and DEF D, the driven node
    const char* field;  // of D
    const char* expected;
    const char* message;
};

TEST_F(CascadeTest, EveryInterpolatorDrivesAFieldOfItsType) {
    auto drive = [](const char* type, const char* keys, const char* values, const char* target) {
        return std::string("DEF I ") + type + " { key [ " + keys + " ] keyValue [ " + values +
               " ] } " + target + " ROUTE I.value_changed TO D.";
    };
    const InterpolatorCase cases[] = {
        {"scalar", drive("ScalarInterpolator", "0 1", "0 2", "DEF D Material {}"), "transparency",
         "0.5", nullptr},
        {"position", drive("PositionInterpolator", "0 1", "0 0 0, 4 8 -4", "DEF D Transform {}"),
         "scale", "1.0,2.0,-1.0", nullptr},
        {"orientation",
         drive("OrientationInterpolator", "0 1", "0 1 0 0, 0 1 0 2", "DEF D Transform {}"),
         "rotation", "0.0,1.0,0.0,0.5", nullptr},
        {"colour", drive("ColorInterpolator", "0 0.5", "0 0 0, 1 0 1", "DEF D Material {}"),
         "emissiveColor", "0.5,0.0,0.5", nullptr},
        {"coordinate",
         drive("CoordinateInterpolator", "0 1", "0 0 0, 4 0 0, 0 4 0, 0 0 4",
               "DEF D Coordinate {}"),
         "point", "0.0,1.0,0.0;3.0,0.0,1.0", nullptr},
        {"normal",
         drive("NormalInterpolator", "0 0.5", "1 0 0, 0 1 0", "DEF D Normal { vector [ 0 0 1 ] }"),
         "vector", "0.707107,0.707107,0.0", nullptr},
        {"position 2D",
         drive("PositionInterpolator2D", "0 1", "0 0, 4 -8", "DEF D TextureTransform {}"),
         "translation", "1.0,-2.0", nullptr},
        {"coordinate 2D",
         drive("CoordinateInterpolator2D", "0 1", "0 0, 4 4", "DEF D Coordinate2D {}"), "point",
         "1.0,1.0", nullptr},
        {"no keys", drive("ScalarInterpolator", "", "", "DEF D Material {}"), "transparency", "0.0",
         "ScalarInterpolator: key is empty; it sends nothing"},
        {"too few key values",
         drive("PositionInterpolator", "0 0.5 1", "1 1 1, 2 2 2", "DEF D Transform {}"),
         "translation", "0.0,0.0,0.0",
         "PositionInterpolator: keyValue has fewer values than key; it sends nothing"},
    };
    for (const InterpolatorCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_messages.texts.clear();
        Show(c.scene + c.field +
             " DEF T TimeSensor { loop TRUE } ROUTE T.fraction_changed TO I.set_fraction");
        At(250);
        At(1250);
        EXPECT_EQ(Text("D", c.field), c.expected);
        EXPECT_EQ(m_messages.texts,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    }
}

// A Script's events come from the engine module, loaded for the first scene with a
// Script; a module that cannot be loaded costs the scripts (one message naming
// why), not the scene. What a script raises reaches the program's own message sink.
TEST_F(RouterTest, ScriptsRunThroughTheEngineModuleOrTheSceneShowsWithoutThem) {
    struct ModuleCase {
        const char* name;
        const char* module;   // ORVANE_SCRIPT_MODULE; null: the build's own module
        const char* body;     // of the Script's initialize()
        glm::vec3 moved;      // where the Script puts X
        const char* message;  // in the one message; null: no message
    };
    const char* move = "moved = new SFVec3f(1, 2, 3);";
    const ModuleCase cases[] = {
        {"the built module", nullptr, move, {1, 2, 3}, nullptr},
        {"a script's own message",
         nullptr,
         "throw new Error('no way');",
         {0, 0, 0},
         "Script S: Error: no way (line 1) in initialize(); the script is disabled."},
        {"no file",
         "/nonexistent/orvane-script.so",
         move,
         {0, 0, 0},
         "cannot load the script engine (/nonexistent/orvane-script.so: cannot open shared "
         "object file"},
        {"not a module",
         ORVANE_STANDARD_NODES_PATH,
         move,
         {0, 0, 0},
         "standardNodes.wrl: invalid ELF header)."},
        {"a function no program has",
         ORVANE_UNBOUND_MODULE,
         move,
         {0, 0, 0},
         "undefined symbol: orvane_test_function_nowhere)."},
        {"no entry point",
         ORVANE_ENTRYLESS_MODULE,
         move,
         {0, 0, 0},
         "undefined symbol: orvane_create_script_engine)."},
    };
    const std::string refusal = "The scene's scripts do not run: cannot load the script engine (";
    for (const ModuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.module) setenv("ORVANE_SCRIPT_MODULE", c.module, 1);
        m_messages.texts.clear();
        Show(std::string("DEF X Transform { children Shape { geometry Box {} } }"
                         "DEF S Script { eventOut SFVec3f moved"
                         " url \"javascript: function initialize() { ") +
             c.body + " }\" } ROUTE S.moved TO X.translation");
        At(0);
        At(20);
        unsetenv("ORVANE_SCRIPT_MODULE");
        EXPECT_EQ(Position("X"), c.moved);
        if (!c.message) {
            EXPECT_EQ(m_messages.texts, std::vector<std::string>{});
            continue;
        }
        ASSERT_EQ(m_messages.texts.size(), 1u);
        const std::string& text = m_messages.texts[0];
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(text.rfind(refusal, 0) == 0, c.module != nullptr) << text;
    }
}
