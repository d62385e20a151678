// The grammar actions over the real node classes: DEF/USE, children, field
// values, routes, prototypes, errors and the file entry points. The root Group
// and its top-level children are in the dump test; PROTO, EXTERNPROTO and
// Inline scenes (with the files they name) are rows of the Scenes table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

#include "loader/name_index.h"
#include "loader/scene_dump.h"
#include "loader/vrml_node_type.h"
#include "loader_test_util.h"

namespace {

class Parser : public ::testing::Test, public LoaderFixtureBase {};

// Insert answers with the value a name has: the new one the first time, the first
// one ever after, across the index's growth (every power of two up to 128 names).
TEST(NameIndexInsert, ReturnsTheValueTheNameKeeps) {
    NameIndex index;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "n" + std::to_string(i);
        EXPECT_EQ(index.Insert(name, i), i) << name;
        EXPECT_EQ(index.Insert(name, 1000 + i), i) << name;  // the first value stays
        EXPECT_EQ(index.Size(), static_cast<std::size_t>(i + 1)) << name;
    }
    for (int i = 0; i < 100; ++i) EXPECT_EQ(index.Find("n" + std::to_string(i)), i);
    EXPECT_EQ(index.Find("n100"), NameIndex::kAbsent);
}

// A type's members are found by name through its index, past the index's growth
// (200 names, many sharing a probe run) and after declarations made between
// lookups, and the first declaration of a name wins.
TEST(NodeTypeMembers, EveryNameFoundAndTheFirstDeclarationWins) {
    VrmlNodeType type("Many");
    for (int i = 0; i < 200; ++i) type.AddField("f" + std::to_string(i), 300 + i);
    EXPECT_EQ(type.HasField("shared"), 0);  // indexes what is declared so far
    type.AddExposedField("shared", 400);    // declarations after a lookup are found too
    type.AddField("f7", 999);               // declared again: the first token stays
    type.AddEventIn("f7", 500);             // an eventIn of the same name is its own member
    for (int i = 0; i < 200; ++i) EXPECT_EQ(type.HasField("f" + std::to_string(i)), 300 + i);
    EXPECT_EQ(type.HasField("f7"), 307);
    EXPECT_EQ(type.HasEventIn("f7"), 500);
    EXPECT_EQ(type.HasEventOut("f7"), 0);
    const VrmlNodeType::Member shared = type.Find("shared");
    EXPECT_EQ(shared.field, 400);
    EXPECT_EQ(shared.eventIn, 0);  // an exposedField's eventIn is set_shared
    EXPECT_EQ(type.HasEventIn("set_shared"), 400);
    EXPECT_EQ(type.HasEventOut("shared_changed"), 400);
    EXPECT_EQ(type.HasField("f200"), 0);
    EXPECT_EQ(type.HasField(""), 0);
    EXPECT_EQ(type.Fields().size(), 202u);  // the lists keep every declaration
}

TEST_F(Parser, DefAndUseShareOneNode) {
    Load("Group { children [ DEF A Transform { translation 1 2 3 } USE A ] }");
    MultiNode* kids = Children(TopLevel().GetNodeAt(0));
    ASSERT_NE(kids, nullptr);
    ASSERT_EQ(kids->GetCount(), 2);
    EXPECT_EQ(kids->GetNodeAt(0), kids->GetNodeAt(1));
    EXPECT_EQ(loader.FindDef("A"), kids->GetNodeAt(0));
    // Two list entries and the DEF table.
    EXPECT_EQ(kids->GetNodeAt(0)->GetRef(), 3);
    loader.ResetParser();
}

TEST_F(Parser, UseBeforeDefAttachesNothing) {
    Load("Group { children [ USE B DEF B Box { } ] }");
    MultiNode* kids = Children(TopLevel().GetNodeAt(0));
    ASSERT_EQ(kids->GetCount(), 1);
    EXPECT_EQ(TypeOf(kids->GetNodeAt(0)), "Box");
    EXPECT_EQ(errors.str(), "");
}

TEST_F(Parser, UseInsideItsOwnNodeIsRefused) {
    Load("DEF A Group { children [ Box { } USE A Transform { children USE A } ] }");
    EXPECT_EQ(errors.str(),
              "Error near line 2: USE A inside its own node ignored\n"
              "Error near line 2: USE A inside its own node ignored\n");
    MultiNode* kids = Children(loader.FindDef("A"));
    ASSERT_EQ(kids->GetCount(), 2);
    EXPECT_EQ(Children(kids->GetNodeAt(1))->GetCount(), 0);
}

TEST_F(Parser, LatestDefOfANameIsTheOneUsedAndRouted) {
    Load(R"(
DEF X Box { } Shape { geometry USE X }
DEF X Sphere { } Shape { geometry USE X }
DEF T TimeSensor { } DEF S ScalarInterpolator { }
ROUTE T.fraction_changed TO S.set_fraction
DEF S ScalarInterpolator { }
ROUTE T.fraction_changed TO S.set_fraction
)");
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(TypeOf(loader.FindDef("X")), "Sphere");
    EXPECT_EQ(loader.GetDefNames(), (std::vector<std::string>{"X", "X", "T", "S", "S"}));
    for (int i : {1, 3}) {
        auto* geometry = dynamic_cast<SingleNode*>(FieldOf(TopLevel().GetNodeAt(i), "geometry"));
        EXPECT_EQ(geometry, TopLevel().GetNodeAt(i - 1)) << i;
    }
    const RouteList& routes = loader.GetRouteList();
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_NE(routes[0].toNode.Get(), routes[1].toNode.Get());
    EXPECT_EQ(routes[1].toNode.Get(), loader.FindDef("S"));
}

TEST_F(Parser, ChildrenGoThroughAddChildrenAndNodeFieldsByName) {
    Load("Transform { children [ Shape { geometry Sphere { radius 2 } } ] }");
    MultiNode* kids = Children(TopLevel().GetNodeAt(0));
    ASSERT_EQ(kids->GetCount(), 1);
    SingleNode* shape = kids->GetNodeAt(0);
    auto* sphere = dynamic_cast<SingleNode*>(FieldOf(shape, "geometry"));
    ASSERT_NE(sphere, nullptr);
    EXPECT_FLOAT_EQ(dynamic_cast<SFFloat*>(FieldOf(sphere, "radius"))->Get(), 2.0f);
    // A grouping node takes the nodes of its children through addChildren,
    // and a node field named in the text (its viewpoint) takes its node.
    Load("Layer3D { viewpoint Viewpoint { } children Shape { } }");
    EXPECT_EQ(Children(TopLevel().GetNodeAt(0))->GetCount(), 1);
    auto* viewpoint = dynamic_cast<SingleNode*>(FieldOf(TopLevel().GetNodeAt(0), "viewpoint"));
    ASSERT_NE(viewpoint, nullptr);
    EXPECT_EQ(TypeOf(viewpoint), "Viewpoint");
    Load("Collision { proxy Shape { } children Group { } }");
    EXPECT_EQ(Children(TopLevel().GetNodeAt(0))->GetCount(), 1);
    EXPECT_NE(FieldOf(TopLevel().GetNodeAt(0), "proxy"), nullptr);
}

TEST_F(Parser, FieldValuesOfEveryKind) {
    Load(R"(
DEF T Transform { translation 1 2 3 rotation 0 1 0 1.5 scale 2 2 2 }
DEF C Coordinate { point [ 0 0 0, 1 1 1 ] }
DEF E Coordinate { point [ ] }
DEF I IndexedFaceSet { coordIndex [ 0 1 2 -1 ] ccw FALSE creaseAngle 0.5 }
DEF M Material { diffuseColor 1 0 0 }
DEF TS TimeSensor { cycleInterval 2.5 startTime 1234567890.25 }
DEF W WorldInfo { title "A \"title\"" info [ "one" "two" ] }
DEF U ImageTexture { url [ "a.jpg" "b.jpg" ] }
DEF X Text { _string [ "x" ] }
DEF P TextureCoordinate { point [ 0 0, 1 0, 1 1 ] }
DEF K ColorInterpolator { key [ 0 .5 1 ] keyValue [ 1 0 0, 0 1 0, 0 0 1 ] }
)");
    EXPECT_EQ(errors.str(), "");
    auto* t = loader.FindDef("T");
    EXPECT_EQ(*dynamic_cast<SFVec3f*>(FieldOf(t, "translation")), SFVec3f(1, 2, 3));
    EXPECT_EQ(*dynamic_cast<SFRotation*>(FieldOf(t, "rotation")), SFRotation(0, 1, 0, 1.5f));
    auto* points = dynamic_cast<MFField<SFVec3f>*>(FieldOf(loader.FindDef("C"), "point"));
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(*points, (MFField<SFVec3f>{SFVec3f(0, 0, 0), SFVec3f(1, 1, 1)}));
    EXPECT_EQ(dynamic_cast<MFField<SFVec3f>*>(FieldOf(loader.FindDef("E"), "point"))->GetCount(),
              0);
    auto* faces = loader.FindDef("I");
    EXPECT_EQ(*dynamic_cast<MFField<SFInt32>*>(FieldOf(faces, "coordIndex")),
              (MFField<SFInt32>{SFInt32(0), SFInt32(1), SFInt32(2), SFInt32(-1)}));
    EXPECT_FALSE(dynamic_cast<SFBool*>(FieldOf(faces, "ccw"))->Get());
    EXPECT_EQ(*dynamic_cast<SFColor*>(FieldOf(loader.FindDef("M"), "diffuseColor")),
              SFColor(1, 0, 0));
    EXPECT_DOUBLE_EQ(dynamic_cast<SFTime*>(FieldOf(loader.FindDef("TS"), "startTime"))->Get(),
                     1234567890.25);
    auto* world = loader.FindDef("W");
    EXPECT_EQ(dynamic_cast<SFString*>(FieldOf(world, "title"))->Get(), "A \"title\"");
    EXPECT_EQ(dynamic_cast<MultiField*>(FieldOf(world, "info"))->GetCount(), 2);
    // A list field named "url" holds URLs, any other string list strings.
    auto* urls = dynamic_cast<MFField<SFURL>*>(FieldOf(loader.FindDef("U"), "url"));
    ASSERT_NE(urls, nullptr);
    EXPECT_EQ((*urls)[1].Get(), "b.jpg");
    auto* text = dynamic_cast<MFField<SFString>*>(FieldOf(loader.FindDef("X"), "_string"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ((*text)[0].Get(), "x");
    EXPECT_EQ(dynamic_cast<MultiField*>(FieldOf(loader.FindDef("P"), "point"))->GetCount(), 3);
    EXPECT_EQ(dynamic_cast<MultiField*>(FieldOf(loader.FindDef("K"), "keyValue"))->GetCount(), 3);
}

TEST_F(Parser, LongListsLandInTheNode) {
    std::string indices;
    for (int i = 0; i < 5000; ++i) indices += std::to_string(i % 3 == 2 ? -1 : i) + " ";
    std::string points;
    for (int i = 0; i < 3000; ++i) points += std::to_string(i) + " 0.5 -1, ";
    Load("DEF I IndexedFaceSet { coord Coordinate { point [" + points + "] } coordIndex [" +
         indices + "] }");
    auto* faces = loader.FindDef("I");
    auto* index = dynamic_cast<MFField<SFInt32>*>(FieldOf(faces, "coordIndex"));
    ASSERT_NE(index, nullptr);
    ASSERT_EQ(index->GetCount(), 5000);
    EXPECT_EQ((*index)[4998].Get(), 4998);
    EXPECT_EQ((*index)[4999].Get(), 4999);
    EXPECT_EQ((*index)[2].Get(), -1);
    auto* coord = dynamic_cast<SingleNode*>(FieldOf(faces, "coord"));
    auto* point = dynamic_cast<MFField<SFVec3f>*>(FieldOf(coord, "point"));
    ASSERT_EQ(point->GetCount(), 3000);
    EXPECT_EQ((*point)[2999], SFVec3f(2999, 0.5f, -1));
}

TEST_F(Parser, IncompleteTupleInAListIsReported) {
    Load("DEF C Coordinate { point [ 1 2 3 4 ] }");
    EXPECT_EQ(errors.str(), "Error near line 2: incomplete last element in a list value\n");
    EXPECT_EQ(dynamic_cast<MultiField*>(FieldOf(loader.FindDef("C"), "point"))->GetCount(), 1);
}

TEST_F(Parser, RoutesRecordFieldIndexes) {
    Load(R"(
DEF TS TimeSensor { }
DEF PI PositionInterpolator { }
DEF T Transform { }
ROUTE TS.fraction_changed TO PI.set_fraction
ROUTE PI.value_changed TO T.translation
ROUTE PI.value_changed TO T.set_translation
ROUTE TS.fraction_chnged TO PI.set_fraction
ROUTE Nobody.x TO PI.set_fraction
ROUTE T.translation_changed TO PI.set_fraction
ROUTE TS.set_fraction_changed TO T.set_children
)");
    const RouteList& routes = loader.GetRouteList();
    ASSERT_EQ(routes.size(), 4u);
    SingleNode* ts = loader.FindDef("TS");
    SingleNode* pi = loader.FindDef("PI");
    SingleNode* t = loader.FindDef("T");
    EXPECT_EQ(routes[0].fromNode.Get(), ts);
    EXPECT_EQ(routes[0].fromField, VrmlLoader::FindFieldIndex(ts, "fraction_changed"));
    EXPECT_EQ(routes[0].toNode.Get(), pi);
    EXPECT_EQ(routes[0].toField, VrmlLoader::FindFieldIndex(pi, "set_fraction"));
    // An exposedField answers to its own name and its set_/_changed names.
    int translation = VrmlLoader::FindFieldIndex(t, "translation");
    ASSERT_GE(translation, 0);
    EXPECT_EQ(routes[1].toField, translation);
    EXPECT_EQ(routes[2].toField, translation);
    EXPECT_EQ(routes[3].fromField, translation);
    EXPECT_EQ(errors.str(), "");
}

TEST_F(Parser, RoutesInsideNodeBodies) {
    Load(
        "DEF G Group { children [ DEF A TimeSensor { } DEF B ScalarInterpolator { } ]"
        " ROUTE A.fraction_changed TO B.set_fraction }");
    EXPECT_EQ(loader.GetRouteList().size(), 1u);
    EXPECT_EQ(Children(loader.FindDef("G"))->GetCount(), 2);
}

TEST_F(Parser, PrototypesAreScopedToTheirScene) {
    Load(R"(
PROTO Wheel [ field SFFloat size 1 exposedField MFNode parts [] eventIn SFBool spin ] {
  PROTO Spoke [ ] { }
  Spoke { }
}
Wheel { size 2 }
)");
    EXPECT_EQ(errors.str(), "");
    EXPECT_NE(loader.Registry().Find("Box"), nullptr);
    EXPECT_EQ(loader.Registry().Find("Wheel"), nullptr);  // gone with the scene's scope
    // A second scene does not see the first one's prototypes.
    Load("Wheel { }\nSpoke { }");
    EXPECT_EQ(errors.str(),
              "Error near line 2: Unknown node type 'Wheel'\n"
              "Error near line 3: Unknown node type 'Spoke'\n");
}

TEST_F(Parser, RoutesThroughAProtoInterfaceReachTheBoundFields) {
    Load(R"(
PROTO Door [ exposedField SFVec3f position 0 0 0 eventIn SFFloat set_fraction ] {
  DEF T Transform { translation IS position }
  DEF Clock TimeSensor { loop TRUE }
  DEF Mover PositionInterpolator { set_fraction IS set_fraction }
  ROUTE Clock.fraction_changed TO Mover.set_fraction
  ROUTE Mover.value_changed TO T.set_translation
}
PROTO Wrap [ exposedField SFVec3f where 0 0 0 ] { Door { position IS where } }
DEF D1 Door { position 1 0 0 }
DEF W Wrap { }
DEF Timer TimeSensor { }
DEF Lift PositionInterpolator { }
ROUTE Lift.value_changed TO D1.set_position
ROUTE Timer.fraction_changed TO D1.set_fraction
ROUTE Lift.value_changed TO W.where
)");
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(loader.FindDef("T"), nullptr);  // body names stay inside the instance
    SingleNode* d1 = loader.FindDef("D1");
    SingleNode* w = loader.FindDef("W");
    ASSERT_NE(d1, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(TypeOf(w), "Transform");
    const int translation = VrmlLoader::FindFieldIndex(d1, "translation");
    const RouteList& routes = loader.GetRouteList();
    ASSERT_EQ(routes.size(), 7u);  // two in each of the 2 bodies, three outside
    EXPECT_EQ(routes[1].toNode.Get(), d1);
    EXPECT_EQ(routes[1].toField, translation);
    EXPECT_EQ(routes[4].toNode.Get(), d1);
    EXPECT_EQ(routes[4].toField, translation);
    // set_fraction reaches D1's own interpolator, which a body route also drives.
    EXPECT_EQ(TypeOf(routes[5].toNode.Get()), "PositionInterpolator");
    EXPECT_EQ(routes[5].toNode, routes[0].toNode);
    // Through Wrap's interface to the Door inside it.
    EXPECT_EQ(routes[6].toNode.Get(), w);
    EXPECT_EQ(routes[6].toField, translation);
    // The sensors and interpolators of the bodies run beside the instances.
    std::vector<std::string> top;
    for (SingleNode* node : TopLevel().Nodes()) top.push_back(TypeOf(node));
    // (the Door inside W makes its extras before W's first node takes its place).
    EXPECT_EQ(top, (std::vector<std::string>{"Transform", "TimeSensor", "PositionInterpolator",
                                             "TimeSensor", "PositionInterpolator", "Transform",
                                             "TimeSensor", "PositionInterpolator"}));
}

TEST_F(Parser, ScenePrototypeCannotReplaceAStandardType) {
    Load("PROTO Box [ field SFFloat weight 1 ] { }\nBox { size 1 2 3 }");
    EXPECT_EQ(errors.str(), "PROTO Box already defined\n");
    EXPECT_EQ(TypeOf(TopLevel().GetNodeAt(0)), "Box");
}

TEST_F(Parser, ScriptInterfaceOnlyInsideScript) {
    Load(R"(
Script { url "s.js" field SFFloat x 1 eventIn SFBool go eventOut SFTime done }
Transform { field SFFloat y 2 }
)");
    EXPECT_EQ(errors.str(),
              "Error near line 4: interface declaration outside of Script or prototype\n");
    // The Script keeps the declarations file's fields, then its own, with their values.
    ASSERT_EQ(TopLevel().GetCount(), 2);
    SingleNode* script = TopLevel().GetNodeAt(0);
    std::vector<std::string> names;
    std::string name;
    for (int i = 0; script->GetFieldName(i, name) == 0; ++i) names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"url", "directOutput", "mustEvaluate", "x", "go", "done"}));
    std::string text;
    static_cast<SFField*>(script->GetField(3))->ToString(text);
    EXPECT_EQ(text, "1.0");
    EXPECT_EQ(script->GetField(4), nullptr);  // an eventIn holds no value
    EXPECT_EQ(TypeOf(TopLevel().GetNodeAt(1)), "Transform");
}

TEST_F(Parser, ScriptsInsidePrototypesKeepTheirInterfaceAndRoutes) {
    // Each instance makes a Script of its own; IS joins the instance's
    // interface to the Script's declared fields, and a ROUTE to the instance
    // reaches them. An SFImage is read as its numbers, 32-bit pixels intact.
    Load(R"(
PROTO Blink [ eventIn SFFloat f field SFColor base 1 0 0 ] {
  Script { eventIn SFFloat set_f IS f field SFColor b IS base url "javascript:" }
}
DEF T TimeSensor { }
DEF A Blink { base 0 1 0 }
DEF B Blink { }
ROUTE T.fraction_changed TO A.f
Shape { appearance Appearance { texture PixelTexture { image 1 2 4 0xFF0000FF 0x80808080 } } }
)");
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(TopLevel().GetCount(), 4);
    SingleNode* a = TopLevel().GetNodeAt(1);
    SingleNode* b = TopLevel().GetNodeAt(2);
    ASSERT_EQ(TypeOf(a), "Script");
    ASSERT_NE(a, b);
    std::string text;
    static_cast<SFField*>(a->GetField(4))->ToString(text);
    EXPECT_EQ(text, "0.0,1.0,0.0");
    static_cast<SFField*>(b->GetField(4))->ToString(text);
    EXPECT_EQ(text, "1.0,0.0,0.0");
    ASSERT_EQ(loader.GetRouteList().size(), 1u);
    EXPECT_EQ(loader.GetRouteList()[0].toNode.Get(), a);
    EXPECT_EQ(loader.GetRouteList()[0].toField, 3);
    std::string dump = DumpScene(TopLevel().GetNodeAt(3));
    EXPECT_NE(dump.find("image [1;2;4;-16776961;-2139062144]"), std::string::npos) << dump;
}

// Scene texts and what they build: the root's dump and the error stream.
// With `files` the text is main.wrl in a folder of its own beside them (the
// folder's path is taken out of the messages); `distinct` counts the nodes
// under the root once each, `routes` the ROUTEs, when not -1.
struct SceneCase {
    const char* what;
    std::string text;  // after the header line (line 1)
    std::string errors;
    std::string dump;
    std::vector<std::pair<std::string, std::string>> files = {};
    int distinct = -1;
    int routes = -1;
};

int CountDistinct(SingleNode* node, std::set<SingleNode*>& seen) {
    if (!seen.insert(node).second) return 0;
    int count = 1;
    std::string name;
    for (int i = 0; node->GetFieldName(i, name) == 0; ++i) {
        Field* field = node->GetField(i);
        if (auto* child = dynamic_cast<SingleNode*>(field)) count += CountDistinct(child, seen);
        if (auto* list = dynamic_cast<MultiNode*>(field))
            for (SingleNode* entry : list->Nodes()) count += CountDistinct(entry, seen);
    }
    return count;
}

// The dump of `groups` Groups one in the other around the Inline of f<groups>.wrl.
std::string ChainDump(int groups) {
    std::string out;
    int indent = 4;
    for (int i = 0; i < groups; ++i, indent += 4)
        out += std::string(indent, ' ') + "Group\n" + std::string(indent + 2, ' ') + "children:\n";
    return out + std::string(indent, ' ') + "Inline\n" + std::string(indent + 2, ' ') + "url [f" +
           std::to_string(groups) + ".wrl]\n";
}

// A chain of `count` files, each inlining the next.
std::vector<std::pair<std::string, std::string>> InlineChain(int count) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < count; ++i)
        files.emplace_back(
            "f" + std::to_string(i) + ".wrl",
            "#VRML V2.0 utf8\nInline { url \"f" + std::to_string(i + 1) + ".wrl\" }\n");
    return files;
}

void PrintTo(const SceneCase& c, std::ostream* os) {
    *os << c.what;
}

class Scenes : public ::testing::TestWithParam<SceneCase>, public LoaderFixtureBase {};

TEST_P(Scenes, BuildWhatTheTextSays) {
    const SceneCase& c = GetParam();
    std::string messages;
    if (c.files.empty()) {
        Load(c.text);
        messages = errors.str();
    } else {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("orvane_scenes_" + std::to_string(::getpid()) + c.what);
        std::filesystem::remove_all(dir);
        for (const auto& [name, text] : c.files) {
            std::filesystem::create_directories((dir / name).parent_path());
            std::ofstream(dir / name) << text;
        }
        std::ofstream(dir / "main.wrl") << "#VRML V2.0 utf8\n" << c.text;
        LoadText("");
        ASSERT_EQ(loader.ParseSceneFile((dir / "main.wrl").string()), VrmlLoader::kLoadOk);
        messages = errors.str();
        const std::string prefix = dir.string() + "/";
        for (std::size_t at; (at = messages.find(prefix)) != std::string::npos;)
            messages.erase(at, prefix.size());
        std::filesystem::remove_all(dir);
    }
    EXPECT_EQ(messages, c.errors);
    std::set<SingleNode*> seen;
    if (c.distinct >= 0) {
        EXPECT_EQ(CountDistinct(loader.GetSceneRoot(), seen) - 1, c.distinct);
    }
    if (c.routes >= 0) {
        EXPECT_EQ(static_cast<int>(loader.GetRouteList().size()), c.routes);
    }
    EXPECT_EQ(DumpScene(loader.GetSceneRoot()), c.dump);
    EXPECT_EQ(loader.GetErrorCount(),
              static_cast<int>(std::count(c.errors.begin(), c.errors.end(), '\n')) -
                  static_cast<int>(c.errors.find("Error: Node's") != std::string::npos));
}

const SceneCase kScenes[] = {
    {"ExporterNumbers",
     "Transform { translation +1.5 5. -2.e1 scale +3 +.5 1. }\n"
     "Shape { geometry IndexedFaceSet { coordIndex [ +0, +1, 2, -1 ] creaseAngle +1 } }",
     "",
     "Group\n  children:\n    Transform\n      scale 3.0,0.5,1.0\n"
     "      translation 1.5,5.0,-20.0\n    Shape\n      geometry:\n        IndexedFaceSet\n"
     "          coordIndex [0;1;2;-1]\n          creaseAngle 1.0\n"},
    {"BoundingBoxFieldsAreReadAndDropped",
     "Group { bboxCenter 0 1 0 bboxSize 2 2 2 children Transform { bboxSize 1 1 1 scale 2 2 2 } }\n"
     "Anchor { bboxCenter 1 1 1 } Billboard { bboxSize 1 1 1 } Collision { bboxCenter 0 0 0 }\n"
     "Transform { bboxCenter 0 0 0 bboxSize -1 -1 -1 translation 0 1 0 }",
     "",
     "Group\n  children:\n    Group\n      children:\n        Transform\n"
     "          scale 2.0,2.0,2.0\n    Anchor\n    Billboard\n    Collision\n    Transform\n"
     "      translation 0.0,1.0,0.0\n"},
    {"TouchSensorEnabledIsAField",
     "DEF T TouchSensor { enabled FALSE } DEF B TimeSensor { }\nROUTE B.isActive TO T.set_enabled",
     "",
     "Group\n  children:\n    TouchSensor\n      enabled false\n    TimeSensor\n",
     {},
     -1,
     1},
    {"LineSetsInBothSpellings",
     "Shape { geometry IndexedLineSet { coordIndex [ 0 1 ] } }\n"
     "Shape { geometry IndexLineSet { coordIndex [ 2 3 ] } }\n"
     "Shape { geometry IndexedLineSet2D { coordIndex [ 4 5 ] } }",
     "",
     "Group\n  children:\n    Shape\n      geometry:\n        IndexLineSet\n"
     "          coordIndex [0;1]\n    Shape\n      geometry:\n        IndexLineSet\n"
     "          coordIndex [2;3]\n    Shape\n      geometry:\n        IndexLineSet2D\n"
     "          coordIndex [4;5]\n"},
    {"StandardFieldNamesFillTheCataloguesFields",
     "Shape { geometry Text { string [ \"hello\" ] } }\n"
     "Shape { geometry IndexedFaceSet { normalPerVertex FALSE } }\n"
     "Sound { minFront 2 source AudioSwitch { whichChoice [ 1 0 ] } }\n"
     "Shape { appearance Appearance { texture CompositeTexture3D { viewpoint Viewpoint { } } } }",
     "",
     "Group\n  children:\n    Shape\n      geometry:\n        Text\n"
     "          _string [hello]\n    Shape\n      geometry:\n        IndexedFaceSet\n"
     "          normalPerIndex false\n    Sound\n      minFrint 2.0\n      source:\n"
     "        AudioSwitch\n          whiceChoice [1;0]\n    Shape\n      appearance:\n"
     "        Appearance\n          texture:\n            CompositeTexture3D\n"
     "              viewport:\n                Viewpoint\n"},
    {"SyntaxErrorKeepsTheNodeItStopsIn", "Box { }\nSphere { radius }\nCone { }",
     "Error near line 3: parse error\n", "Group\n  children:\n    Box\n    Sphere\n"},
    {"SyntaxErrorDeepInsideKeepsEveryLevel",
     "Transform { translation 1 2 3 children [\n"
     "  Shape { geometry Sphere { radius 2 } appearance Appearance {\n"
     "    material Material { diffuseColor 1 0 } } }\n  Box { } ] }",
     "Error near line 4: parse error\n",
     "Group\n  children:\n    Transform\n      children:\n        Shape\n"
     "          appearance:\n            Appearance\n              material:\n"
     "                Material\n          geometry:\n            Sphere\n"
     "              radius 2.0\n      translation 1.0,2.0,3.0\n"},
    {"UnknownFieldStopsTheFileButKeepsItsNode",
     "Transform {\n  translation 1 2 3\n  Translation 4\n}\nShape { }",
     "Error: Node's of type Transform do not have fields/eventIn/eventOut named Translation\n"
     "Error near line 4: parse error\n",
     "Group\n  children:\n    Transform\n      translation 1.0,2.0,3.0\n"},
    {"UnclosedGroupKeepsItsChildren", "Group { children [ Box { } Sphere { radius 3 }",
     "Error near line 2: parse error\n",
     "Group\n  children:\n    Group\n      children:\n        Box\n        Sphere\n"
     "          radius 3.0\n"},
    {"UnknownNodesAreSaidOnceAndPassedOver",
     "Teapot { size 1 spout [ 1 2 ] lid Lid { knob \"}\" } }\nBox { }\n"
     "Group { children [ Teapot { } Kettle { # }\n } Sphere { } ] }",
     "Error near line 2: Unknown node type 'Teapot'\n"
     "Error near line 4: Unknown node type 'Kettle'\n",
     "Group\n  children:\n    Box\n    Group\n      children:\n        Sphere\n"},
    {"UnknownNodeThatNeverCloses", "Box { }\nTeapot { lid {\nSphere { }",
     "Error near line 3: Unknown node type 'Teapot'\nError near line 4: parse error\n",
     "Group\n  children:\n    Box\n"},
    {"ProtoInstancesTakeTheirValuesOrTheDefaults",
     "PROTO Ball [ field SFVec3f at 1 2 3 field SFFloat r 1 field MFString tags [ \"a\" ] ] {\n"
     "  Transform { translation IS at children Shape { geometry Sphere { radius IS r } } }\n"
     "  Transform { scale 2 2 2 }\n}\nBall { r 2 }\nBall { at 0 0 1 }",
     "",
     "Group\n  children:\n    Transform\n      children:\n        Shape\n          geometry:\n"
     "            Sphere\n              radius 2.0\n      translation 1.0,2.0,3.0\n    Switch\n"
     "      choice:\n        Transform\n          scale 2.0,2.0,2.0\n        Transform\n"
     "          scale 2.0,2.0,2.0\n    Transform\n      children:\n        Shape\n"
     "          geometry:\n            Sphere\n      translation 0.0,0.0,1.0\n"},
    {"NodeFieldsNestingAndDefsPerInstance",
     "PROTO Part [ field SFNode look NULL field MFNode kids [ Box { } ] ] {\n"
     "  PROTO Ring [ field SFFloat r 1 ] { Cylinder { radius IS r } }\n"
     "  DEF T Transform { children [ Shape { appearance IS look geometry Ring { r 3 } }\n"
     "    Group { children IS kids } USE T ] } }\n"
     "DEF T Part { look Appearance { } }\nPart { kids [ Sphere { } USE T ] }",
     "",
     "Group\n  children:\n    Transform\n      children:\n        Shape\n          appearance:\n"
     "            Appearance\n          geometry:\n            Cylinder\n              radius 3.0\n"
     "        Group\n          children:\n            Box\n    Transform\n      children:\n"
     "        Shape\n          geometry:\n            Cylinder\n              radius 3.0\n"
     "        Group\n          children:\n            Sphere\n            Transform\n"
     "              children:\n                Shape\n                  appearance:\n"
     "                    Appearance\n                  geometry:\n                    Cylinder\n"
     "                      radius 3.0\n                Group\n                  children:\n"
     "                    Box\n"},
    {"BadIsBindingsAreSaidWithTheirLines",
     "PROTO P [ field SFFloat r 1 field SFColor c 1 0 0 ] {\n"
     "  Sphere { radius IS nothing }\n  Material { diffuseColor IS r }\n}\n"
     "P { r 4 }\nBox { size IS r }",
     "Error near line 3: radius IS nothing: PROTO P has no field nothing\n"
     "Error near line 4: diffuseColor IS r: the two fields have different types\n"
     "Error near line 7: IS r outside of a prototype ignored\n",
     "Group\n  children:\n    Sphere\n    Switch\n    Box\n"},
    {"ProtosThatContainThemselvesAreSaidOnce",
     "PROTO A [ ] { Group { children [ B { } ] } }\n"
     "PROTO B [ ] { Transform { children [ A { } ] } }\nA { }\nA { }",
     "Error near line 2: Unknown node type 'B'\n"
     "Error near line 3: PROTO A contains an instance of itself, which is left out\n",
     "Group\n  children:\n    Group\n      children:\n        Transform\n    Group\n"
     "      children:\n        Transform\n"},
    {"ProtoInsideItsOwnBodyIsSaidOnce",
     "PROTO A [ field SFFloat r 1 ] { Group { children [ A { } Shape { geometry Sphere { radius IS "
     "r } } ] } }\n"
     "A { r 2 }\nA { }",
     "Error near line 2: PROTO A contains an instance of itself, which is left out\n",
     "Group\n  children:\n    Group\n      children:\n        Shape\n          geometry:\n"
     "            Sphere\n              radius 2.0\n    Group\n      children:\n        Shape\n"
     "          geometry:\n            Sphere\n"},
    // Inline: the file's nodes in a Group where the Inline stands, read once
    // for both Inlines (the Group is shared, its ROUTE joins once); urls
    // tried in order, relative to the file naming them.
    {"InlineFilesAreReadOnceAndShared",
     "Inline { url \"part.wrl\" }\n"
     "Transform { children [ Inline { url [ \"gone.wrl\" \"sub/../part.wrl\" ] } ] }\n"
     "DEF I Inline { url \"sub/near.wrl#View\" }",
     "",
     "Group\n  children:\n    Group\n      children:\n        TimeSensor\n        Shape\n"
     "          geometry:\n            Box\n              size 1.0,2.0,3.0\n    Transform\n"
     "      children:\n        Group\n          children:\n            TimeSensor\n"
     "            Shape\n              geometry:\n                Box\n"
     "                  size 1.0,2.0,3.0\n    Group\n      children:\n        Group\n"
     "          children:\n            Sphere\n              radius 4.0\n",
     {{"part.wrl",
       "#VRML V2.0 utf8\nDEF T TimeSensor { }\nShape { geometry Box { size 1 2 3 } }\n"
       "ROUTE T.isActive TO T.set_enabled\n"},
      {"sub/near.wrl", "#VRML V2.0 utf8\nInline { url \"far.wrl\" }\n"},
      {"sub/far.wrl", "#VRML V2.0 utf8\nSphere { radius 4 }\n"}},
     8,
     1},
    {"MissingInlineIsSaidAndTheRestLoads",
     "Inline { url [ \"gone.wrl\" \"http://example.invalid/x.wrl\" ] }\nInline { url [ ] }\nBox { "
     "}",
     "Error near line 2: Inline: no file could be read at \"gone.wrl\" "
     "\"http://example.invalid/x.wrl\", left out\n",
     "Group\n  children:\n    Inline\n      url [gone.wrl;http://example.invalid/x.wrl]\n"
     "    Inline\n    Box\n",
     {{"unused.wrl", ""}}},
    {"InlineCyclesAndDepthAreSaidOnce", "Inline { url \"a.wrl\" }\nInline { url \"f0.wrl\" }",
     "Error near line 3 of a.wrl: \"main.wrl\" is being read already (a cycle), left out\n"
     "Error near line 3 of a.wrl: \"a.wrl\" is being read already (a cycle), left out\n"
     "Error near line 2 of f31.wrl: files nested more than 32 deep are left out\n",
     "Group\n  children:\n    Group\n      children:\n        Group\n          children:\n"
     "            Inline\n              url [main.wrl]\n            Inline\n"
     "              url [a.wrl]\n" +
         ChainDump(32),
     [] {
         auto files = InlineChain(40);
         files.emplace_back("a.wrl",
                            "#VRML V2.0 utf8\nGroup { children [\n"
                            "  Inline { url \"main.wrl\" } Inline { url \"a.wrl\" } ] }\n");
         return files;
     }()},
    {"InlineFileHasItsOwnProtos",
     "PROTO P [ ] { Box { } }\nPROTO Q [ ] { Cone { } }\nInline { url \"p.wrl\" }\nP { }",
     "Error near line 4 of p.wrl: Unknown node type 'Q'\n",
     "Group\n  children:\n    Group\n      children:\n        Sphere\n    Box\n",
     {{"p.wrl", "#VRML V2.0 utf8\nPROTO P [ ] { Sphere { } }\nP { }\nQ { }\n"}}},
    // EXTERNPROTO: urls in order, file#Name or the file's first PROTO, "#Name"
    // of the same file; the library's own nodes stay out of the scene.
    {"ExternProtosFindTheirProto",
     "PROTO Mine [ field SFFloat r 1 ] { Sphere { radius IS r } }\n"
     "EXTERNPROTO B [ field SFVec3f s ] [ \"gone.wrl#B\" \"lib.wrl#B\" ]\n"
     "EXTERNPROTO First [ field SFFloat r ] \"lib.wrl\"\n"
     "EXTERNPROTO Same [ field SFFloat r ] \"#Mine\"\n"
     "EXTERNPROTO Table [ ] \"lib.wrl#Table\"\nPROTO Leg [ ] { Box { } }\n"
     "B { s 1 2 3 }\nFirst { r 2 }\nB { }\nSame { r 5 }\nTable { }",
     "",
     "Group\n  children:\n    Box\n      size 1.0,2.0,3.0\n    Cylinder\n      radius 2.0\n"
     "    Box\n      size 1.0,1.0,1.0\n    Sphere\n      radius 5.0\n    Group\n"
     "      children:\n        Cone\n        Cone\n",
     {{"lib.wrl",
       "#VRML V2.0 utf8\nPROTO A [ field SFFloat r 1 ] { Cylinder { radius IS r } }\n"
       "PROTO B [ field SFVec3f s 1 1 1 ] { Box { size IS s } }\n"
       "PROTO Leg [ ] { Cone { } }\n"
       "PROTO Table [ ] { Group { children [ Leg { } Leg { } ] } }\nSphere { }\n"}}},
    {"ExternProtoInsideAProtoBody",
     "PROTO Outer [ field SFVec3f s 4 4 4 ] {\n"
     "  EXTERNPROTO B [ field SFVec3f s ] [ \"gone.wrl#B\" \"lib.wrl#B\" ]\n"
     "  Group { children B { s IS s } } }\nOuter { }\nOuter { s 1 2 3 }",
     "",
     "Group\n  children:\n    Group\n      children:\n        Box\n          size 4.0,4.0,4.0\n"
     "    Group\n      children:\n        Box\n          size 1.0,2.0,3.0\n",
     {{"lib.wrl", "#VRML V2.0 utf8\nPROTO B [ field SFVec3f s 1 1 1 ] { Box { size IS s } }\n"}}},
    // An Inline in a library PROTO's body is relative to the library's file.
    {"InlineInAnExternProtoBodyIsRelativeToItsLibrary",
     "EXTERNPROTO Part [ field SFVec3f at ] \"sub/lib.wrl#Part\"\nPart { at 1 2 3 }\nPart { }",
     "",
     "Group\n  children:\n    Transform\n      children:\n        Group\n          children:\n"
     "            Cone\n      translation 1.0,2.0,3.0\n    Transform\n      children:\n"
     "        Group\n          children:\n            Cone\n",
     {{"sub/lib.wrl",
       "#VRML V2.0 utf8\nPROTO Part [ field SFVec3f at 0 0 0 ] {\n"
       "  Transform { translation IS at children Inline { url \"piece.wrl\" } } }\n"},
      {"sub/piece.wrl", "#VRML V2.0 utf8\nCone { }\n"}},
     4},
    {"ExternProtoErrorsAreSaidWithTheirLines",
     "EXTERNPROTO H [ ] [ \"gone.wrl\" \"urn:x:h\" ]\nH { }\nGroup { children H { } }\n"
     "EXTERNPROTO B [ field SFFloat s field SFColor c ] \"lib.wrl#B\"\n"
     "B { s 2 c 1 0 0 }\nEXTERNPROTO X [ ] \"lib.wrl#X\"\nX { }\nBox { }",
     "Error near line 2: EXTERNPROTO H: no PROTO found at \"gone.wrl\" \"urn:x:h\", its "
     "instances are left out\n"
     "Error near line 3 of lib.wrl: \"main.wrl\" is being read already (a cycle), left out\n"
     "Error near line 3 of lib.wrl: EXTERNPROTO X: no PROTO found at \"main.wrl#X\", its "
     "instances are left out\n"
     "Error near line 5: EXTERNPROTO B declares fields unlike its PROTO, which are ignored: s c\n"
     "Error near line 7: EXTERNPROTO X: no PROTO found at \"lib.wrl#X\", its instances are left "
     "out\n",
     "Group\n  children:\n    Group\n    Box\n      size 1.0,1.0,1.0\n    Box\n",
     {{"lib.wrl",
       "#VRML V2.0 utf8\nPROTO B [ field SFVec3f s 1 1 1 ] { Box { size IS s } }\n"
       "EXTERNPROTO X [ ] \"main.wrl#X\"\n"}}},
};

INSTANTIATE_TEST_SUITE_P(Parser, Scenes, ::testing::ValuesIn(kScenes),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(Parser, UnknownTypeIsSaidAgainInTheNextScene) {
    Load("Teapot { }\nTeapot { }");
    Load("Teapot { }");
    EXPECT_EQ(errors.str(),
              "Error near line 2: Unknown node type 'Teapot'\n"
              "Error near line 2: Unknown node type 'Teapot'\n");
}

TEST_F(Parser, ByteOrderMarkBeforeTheHeader) {
    LoadText("\xEF\xBB\xBF#VRML V2.0 utf8\nBox { }");
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(DumpScene(loader.GetSceneRoot()), "Group\n  children:\n    Box\n");
}

TEST_F(Parser, AbortedParseLeavesNoOpenScopes) {
    Load("PROTO A [ ] { PROTO B [ ] { Group { children [ Box { size } ] } } }");
    EXPECT_NE(errors.str().find("parse error"), std::string::npos);
    EXPECT_EQ(loader.Registry().ScopeDepth(), 0);
    errors.str("");
    Load("Group { children [ Box { } ] }");
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(Children(TopLevel().GetNodeAt(0))->GetCount(), 1);
}

TEST_F(Parser, DeepNestingEndsInAnErrorNotACrash) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "Group { children [ ";
    Load(text);
    EXPECT_NE(errors.str().find("parser stack overflow"), std::string::npos);
}

TEST_F(Parser, TraceShowsNodeAndFieldEntryAndExit) {
    std::ostringstream trace;
    loader.SetTraceStream(&trace);
    Load("Shape { geometry Box { size 1 2 3 } }");
    EXPECT_EQ(trace.str(),
              "Get node: Shape\n"
              " Field: geometry\n"
              " Get node: Box\n"
              "  Field: size\n"
              "  Value: 1.0,2.0,3.0\n"
              "  Exit Field: size\n"
              " Exit node: Box\n"
              " Exit Field: geometry\n"
              "Exit node: Shape\n");
}

TEST_F(Parser, MissingFilesAreReturnedAsErrors) {
    loader.SetStandardNodesPath("/nonexistent/standardNodes.wrl");
    EXPECT_EQ(loader.ParseVrmlFile("x.wrl"), VrmlLoader::kNoStandardNodes);
    EXPECT_EQ(errors.str(), "Error, couldn't open standardNodes.wrl file\n");
    errors.str("");
    loader.SetStandardNodesPath(ORVANE_STANDARD_NODES);
    EXPECT_EQ(loader.ParseVrmlFile("/nonexistent/scene.wrl"), VrmlLoader::kNoSceneFile);
    EXPECT_EQ(errors.str(), "Error, could not open file\n");
}

TEST_F(Parser, SecondLoadRereadsTheDeclarationsQuietly) {
    auto dir = std::filesystem::temp_directory_path();
    auto declarations = dir / "orvane_loader_declarations.wrl";
    auto scene = dir / "orvane_loader_second.wrl";
    auto write = [](const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path) << "#VRML V2.0 utf8\n" << text;
    };
    write(declarations, "PROTO Box [ field SFVec3f size 2 2 2 ] { }\n");
    write(scene, "PROTO Mine [ ] { }\nMine { }\nBox { size 1 1 1 }\n");
    loader.SetStandardNodesPath(declarations.string());
    EXPECT_EQ(loader.ParseVrmlFile(scene.c_str()), VrmlLoader::kLoadOk);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(TopLevel().GetCount(), 1);
    // The second time the file is read again (its new type is known), without
    // a word about the types it declared before; Mine is new again too.
    write(declarations, "PROTO Box [ field SFVec3f size 2 2 2 ] { }\nPROTO Sphere [ ] { }\n");
    write(scene, "PROTO Mine [ ] { }\nMine { }\nBox { size 1 1 1 }\nSphere { }\n");
    loader.ResetParser();
    EXPECT_EQ(loader.GetRouteList().size(), 0u);
    EXPECT_EQ(loader.ParseVrmlFile(scene.c_str()), VrmlLoader::kLoadOk);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(TopLevel().GetCount(), 2);
    // A scene that declares a type of the declarations again is still told.
    write(scene, "PROTO Sphere [ ] { }\n");
    EXPECT_EQ(loader.ParseVrmlFile(scene.c_str()), VrmlLoader::kLoadOk);
    EXPECT_EQ(errors.str(), "PROTO Sphere already defined\n");
    std::filesystem::remove(declarations);
    std::filesystem::remove(scene);
}

TEST_F(Parser, DumpOfASmallScene) {
    std::ifstream scene(ORVANE_SOURCE_DIR "/tests/data/dump_small.wrl");
    std::ifstream expected(ORVANE_SOURCE_DIR "/tests/data/dump_small.expected");
    ASSERT_TRUE(scene && expected);
    std::stringstream sceneText, expectedText;
    sceneText << scene.rdbuf();
    expectedText << expected.rdbuf();
    loader.LoadStandardNodes();
    standardLoaded = true;
    loader.ResetParser();
    loader.ParseSceneText(sceneText.str());
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(DumpScene(loader.GetSceneRoot()), expectedText.str());
}

}  // namespace
