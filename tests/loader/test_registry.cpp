// The node type registry: interface lookups and nested scopes.
#include <gtest/gtest.h>

#include <sstream>

#include "loader/vrml_node_type.h"
#include "vrml_parser.hpp"

namespace {

TEST(VrmlNodeType, ExposedFieldAnswersToItsThreeNames) {
    VrmlNodeType type("Transform");
    type.AddExposedField("translation", SFVEC3F);
    type.AddEventIn("addChildren", MFNODE);
    EXPECT_EQ(type.HasField("translation"), SFVEC3F);
    EXPECT_EQ(type.HasEventIn("set_translation"), SFVEC3F);
    EXPECT_EQ(type.HasEventOut("translation_changed"), SFVEC3F);
    EXPECT_EQ(type.HasEventIn("translation"), 0);
    EXPECT_EQ(type.HasField("addChildren"), 0);
    EXPECT_EQ(type.HasEventIn("addChildren"), MFNODE);
    EXPECT_EQ(type.HasField("Translation"), 0);  // names compare exactly
}

TEST(VrmlNodeType, FirstRecordOfANameWins) {
    VrmlNodeType type("T");
    type.AddField("a", SFFLOAT);
    type.AddField("a", SFINT32);
    EXPECT_EQ(type.HasField("a"), SFFLOAT);
    EXPECT_EQ(type.Fields().size(), 2u);
}

TEST(VrmlNodeTypeRegistry, InnerScopesHideAndPopDestroys) {
    std::ostringstream errors;
    VrmlNodeTypeRegistry registry(&errors);
    registry.AddToNameSpace(std::make_unique<VrmlNodeType>("Box"));
    const VrmlNodeType* outerBox = registry.Find("Box");
    ASSERT_NE(outerBox, nullptr);

    registry.PushNameSpace();
    registry.AddToNameSpace(std::make_unique<VrmlNodeType>("Local"));
    EXPECT_NE(registry.Find("Local"), nullptr);
    EXPECT_EQ(registry.Find("Box"), outerBox);  // outer types stay visible
    EXPECT_EQ(registry.ScopeDepth(), 1);
    registry.PopNameSpace();

    EXPECT_EQ(registry.Find("Local"), nullptr);
    EXPECT_EQ(registry.Find("Box"), outerBox);
    EXPECT_EQ(registry.ScopeDepth(), 0);
    EXPECT_TRUE(errors.str().empty());
}

TEST(VrmlNodeTypeRegistry, VisibleNameIsNotRedefined) {
    std::ostringstream errors;
    VrmlNodeTypeRegistry registry(&errors);
    auto first = std::make_unique<VrmlNodeType>("Box");
    first->AddField("size", SFVEC3F);
    registry.AddToNameSpace(std::move(first));
    registry.PushNameSpace();
    EXPECT_FALSE(registry.AddToNameSpace(std::make_unique<VrmlNodeType>("Box")));
    EXPECT_EQ(errors.str(), "PROTO Box already defined\n");
    EXPECT_EQ(registry.Find("Box")->HasField("size"), SFVEC3F);
    EXPECT_EQ(registry.TypeCount(), 1u);
}

TEST(VrmlNodeTypeRegistry, PopOnEmptyRegistryIsHarmless) {
    VrmlNodeTypeRegistry registry;
    registry.PopNameSpace();
    registry.PushNameSpace();
    registry.PushNameSpace();
    registry.PopNameSpace();
    EXPECT_EQ(registry.ScopeDepth(), 1);
    EXPECT_EQ(registry.Find("Anything"), nullptr);
}

}  // namespace
