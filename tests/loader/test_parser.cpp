// The grammar actions over the real node classes: DEF/USE, children, field
// values, routes, prototypes, errors and the file entry points. The root Group
// and its top-level children are in the dump test; EXTERNPROTO and plain PROTO
// scenes are in the corpus (test_corpus.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "loader/scene_dump.h"
#include "loader_test_util.h"

namespace {

class Parser : public ::testing::Test, public LoaderFixtureBase {};

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

TEST_F(Parser, FirstDefOfANameKeepsIt) {
    Load("DEF X Box { } DEF X Sphere { } Shape { geometry USE X }");
    EXPECT_EQ(TypeOf(loader.FindDef("X")), "Box");
    EXPECT_EQ(loader.GetDefNames(), (std::vector<std::string>{"X", "X"}));
    auto* geometry = dynamic_cast<SingleNode*>(FieldOf(TopLevel().GetNodeAt(2), "geometry"));
    ASSERT_NE(geometry, nullptr);
    EXPECT_EQ(TypeOf(geometry), "Box");
}

TEST_F(Parser, ChildrenGoThroughAddChildrenAndNodeFieldsByName) {
    Load("Transform { children [ Shape { geometry Sphere { radius 2 } } ] }");
    MultiNode* kids = Children(TopLevel().GetNodeAt(0));
    ASSERT_EQ(kids->GetCount(), 1);
    SingleNode* shape = kids->GetNodeAt(0);
    auto* sphere = dynamic_cast<SingleNode*>(FieldOf(shape, "geometry"));
    ASSERT_NE(sphere, nullptr);
    EXPECT_FLOAT_EQ(dynamic_cast<SFFloat*>(FieldOf(sphere, "radius"))->Get(), 2.0f);
    // A grouping node's other node fields keep what is written in them.
    Load("Layer3D { viewpoint Viewpoint { } }");
    EXPECT_EQ(Children(TopLevel().GetNodeAt(0))->GetCount(), 0);
    EXPECT_NE(FieldOf(TopLevel().GetNodeAt(0), "viewpoint"), nullptr);
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

TEST_F(Parser, PrototypeBodyIsLinkedWithIs) {
    Load(R"(
PROTO Mover [ field SFVec3f where 0 0 0 field MFNode kids [] field SFNode look NULL
              eventIn SFFloat go field MFString files [] ] {
  Transform { translation IS where children IS kids set_scale IS go }
  Shape { appearance IS look }
  ImageTexture { url IS files }
}
)");
    EXPECT_EQ(errors.str(), "");
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
    EXPECT_EQ(TopLevel().GetCount(), 1);  // Script has no node class
}

TEST_F(Parser, KnownTypeWithoutNodeClassIsSkippedWithItsFields) {
    Load(R"(
Shape { geometry IndexedLineSet { coord Coordinate { point [ 0 0 0, 1 1 1 ] } coordIndex [ 0 1 ] } }
Shape { geometry IndexLineSet { coordIndex [ 0 1 ] } }
Text { string [ "hello" ] }
Sound { minFront 2 }
IndexedFaceSet { normalPerVertex FALSE }
)");
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(TopLevel().GetCount(), 5);
    // VRML97 spellings of fields the catalogue names its own way reach those fields.
    auto* perVertex = dynamic_cast<SFBool*>(FieldOf(TopLevel().GetNodeAt(4), "normalPerIndex"));
    ASSERT_NE(perVertex, nullptr);
    EXPECT_FALSE(perVertex->Get());
    auto* minFront = dynamic_cast<SFFloat*>(FieldOf(TopLevel().GetNodeAt(3), "minFrint"));
    ASSERT_NE(minFront, nullptr);
    EXPECT_EQ(minFront->Get(), 2.0f);
    EXPECT_EQ(FieldOf(TopLevel().GetNodeAt(0), "geometry"), nullptr);
    auto* lines = dynamic_cast<SingleNode*>(FieldOf(TopLevel().GetNodeAt(1), "geometry"));
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(TypeOf(lines), "IndexLineSet");
}

TEST_F(Parser, ErrorsNameTheirLineAndKeepWhatWasBuilt) {
    // A syntax error stops the file; the nodes before it stay.
    Load("Box { }\nSphere { radius }\nCone { }");
    EXPECT_EQ(errors.str(), "Error near line 3: parse error\n");
    EXPECT_EQ(TopLevel().GetCount(), 1);
    EXPECT_EQ(loader.GetErrorCount(), 1);
    // Field names compare exactly.
    errors.str("");
    Load("Transform {\n  translation 1 2 3\n  Translation 4\n}\nShape { }");
    EXPECT_EQ(errors.str(),
              "Error: Node's of type Transform do not have fields/eventIn/eventOut named "
              "Translation\n"
              "Error near line 4: parse error\n");
    EXPECT_EQ(TopLevel().GetCount(), 0);
    errors.str("");
    Load("Group { }\n\n\nUnknownThing { }\nGroup { children [ Box { } ] }");
    EXPECT_EQ(errors.str(), "Error near line 5: Unknown node type 'UnknownThing'\n");
    EXPECT_EQ(TopLevel().GetCount(), 2);
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

TEST_F(Parser, SecondLoadRereadsTheDeclarations) {
    auto path = std::filesystem::temp_directory_path() / "orvane_loader_second.wrl";
    std::ofstream(path) << "#VRML V2.0 utf8\nPROTO Mine [ ] { }\nMine { }\nBox { }\n";
    EXPECT_EQ(loader.ParseVrmlFile(path.c_str()), VrmlLoader::kLoadOk);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(TopLevel().GetCount(), 1);
    loader.ResetParser();
    EXPECT_EQ(loader.GetRouteList().size(), 0u);
    EXPECT_EQ(loader.ParseVrmlFile(path.c_str()), VrmlLoader::kLoadOk);
    // Every standard type is already known the second time; Mine is new again.
    EXPECT_NE(errors.str().find("PROTO Box already defined\n"), std::string::npos);
    EXPECT_EQ(errors.str().find("Mine"), std::string::npos);
    EXPECT_EQ(TopLevel().GetCount(), 1);
    std::filesystem::remove(path);
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
