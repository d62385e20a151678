// Field rules of the node classes: SetField by kind of field, string lists,
// grouping operations, reference counts and CheckFieldValues.
#include <gtest/gtest.h>

#include "node_test_util.h"

namespace {

TEST(NodeFields, ValuesAreSetOnlyFromTheirOwnType) {
    NodePtr t = NewNode(Transform::kNodeType);
    SFVec3f where(1, 2, 3);
    EXPECT_EQ(t->SetField(7, &where), 0);  // translation
    EXPECT_EQ(As<Transform>(t).translation(), where);
    SFRotation wrongType(0, 1, 0, 1);
    EXPECT_EQ(t->SetField(7, &wrongType), 1);
    EXPECT_EQ(t->SetField(8, &where), 1);
    EXPECT_EQ(t->SetField(-1, &where), 1);
    EXPECT_EQ(As<Transform>(t).translation(), where);
}

TEST(NodeFields, SFNodeFieldsConvertToTheirNDT) {
    NodePtr shape = NewNode(Shape::kNodeType), app = NewNode(Appearance::kNodeType),
            box = NewNode(Box::kNodeType);
    auto& sh = As<Shape>(shape);
    EXPECT_EQ(shape->SetField(1, app.Get()), 1);  // geometry <- Appearance
    EXPECT_EQ(sh.geometry().get(), nullptr);
    EXPECT_EQ(app->GetRef(), 1);
    EXPECT_EQ(shape->SetField(1, box.Get()), 0);
    EXPECT_EQ(shape->GetField(1), box.Get());
    EXPECT_EQ(static_cast<SingleNode*>(sh.geometry().get()), box.Get());
    EXPECT_EQ(box->GetRef(), 2);
    EXPECT_EQ(shape->SetField(1, app.Get()), 1);  // still the box
    EXPECT_EQ(shape->GetField(1), box.Get());
    SFFloat notANode(1);
    EXPECT_EQ(shape->SetField(1, &notANode), 1);
    EXPECT_EQ(shape->SetField(1, nullptr), 0);
    EXPECT_EQ(box->GetRef(), 1);
    EXPECT_EQ(shape->GetField(1), nullptr);
}

TEST(NodeFields, ChildrenArriveThroughAddChildrenOnly) {
    NodePtr box = NewNode(Box::kNodeType), t = NewNode(Transform::kNodeType);
    {
        NodePtr group = NewNode(Group::kNodeType);
        auto& children = As<Group>(group).children();
        EXPECT_EQ(group->SetField(0, t.Get()), 0);  // addChildren
        EXPECT_EQ(group->SetField(0, t.Get()), 0);  // twice: two entries, two references
        EXPECT_EQ(children.GetCount(), 2);
        EXPECT_EQ(t->GetRef(), 3);
        EXPECT_EQ(group->SetField(2, t.Get()), 1);  // children: not settable
        EXPECT_EQ(group->SetField(1, t.Get()), 1);  // removeChildren: not settable
        SFInt32 notANode(0);
        EXPECT_EQ(group->SetField(0, &notANode), 1);
        EXPECT_EQ(children.GetCount(), 2);

        auto* grouping = dynamic_cast<GroupingNode*>(group.Get());
        ASSERT_NE(grouping, nullptr);
        grouping->RemoveChildren(0);
        EXPECT_EQ(t->GetRef(), 2);
        grouping->RemoveChildren(5);
        grouping->AddChildren(box.Get());
        EXPECT_EQ(&grouping->Children(), &children);
        EXPECT_EQ(children.GetCount(), 2);
        EXPECT_EQ(dynamic_cast<GroupingNode*>(box.Get()), nullptr);
    }
    EXPECT_EQ(t->GetRef(), 1);
    EXPECT_EQ(box->GetRef(), 1);
}

TEST(NodeFields, OtherNodeListsAppendNodesOfTheirNDT) {
    NodePtr sw = NewNode(Switch::kNodeType), lod = NewNode(LOD::kNodeType),
            t = NewNode(Transform::kNodeType), box = NewNode(Box::kNodeType);
    EXPECT_EQ(sw->SetField(0, t.Get()), 0);
    EXPECT_EQ(sw->SetField(0, t.Get()), 0);
    EXPECT_EQ(sw->SetField(0, box.Get()), 1);  // a geometry is not an SF3DNode
    EXPECT_EQ(As<Switch>(sw).choice().GetCount(), 2);
    EXPECT_EQ(lod->SetField(0, t.Get()), 0);
    EXPECT_EQ(As<LOD>(lod).level().GetCount(), 1);
    EXPECT_EQ(t->GetRef(), 4);
}

TEST(NodeFields, EitherKindOfStringListFillsEitherKindOfField) {
    NodePtr bg = NewNode(Background::kNodeType), tex = NewNode(ImageTexture::kNodeType);
    MFField<SFString> strings{SFString("sky.jpg")};
    MFField<SFURL> urls{SFURL("a.jpg"), SFURL("b.jpg")};
    EXPECT_EQ(bg->SetField(4, &urls), 0);  // bottomUrl holds strings
    EXPECT_EQ(As<Background>(bg).bottomUrl().GetCount(), 2);
    EXPECT_EQ(As<Background>(bg).bottomUrl()[1].Get(), "b.jpg");
    EXPECT_EQ(tex->SetField(0, &strings), 0);  // url holds URLs
    EXPECT_EQ(As<ImageTexture>(tex).url()[0].Get(), "sky.jpg");
    MFField<SFFloat> floats{SFFloat(1)};
    EXPECT_EQ(tex->SetField(0, &floats), 1);
    EXPECT_EQ(As<ImageTexture>(tex).url().GetCount(), 1);
}

TEST(NodeFields, SetEventsForwardToTheirField) {
    NodePtr grid = NewNode(ElevationGrid::kNodeType),
            interp = NewNode(PositionInterpolator::kNodeType);
    MFField<SFFloat> heights{SFFloat(1), SFFloat(2)};
    EXPECT_EQ(grid->SetField(0, &heights), 0);  // set_height
    EXPECT_EQ(As<ElevationGrid>(grid).height(), heights);
    SFFloat fraction(0.5f);
    EXPECT_EQ(interp->SetField(0, &fraction), 1);  // set_fraction stores nothing
}

// A field of a fresh node, given `value` (list elements split by ';'; none:
// the default), reads `expected` after CheckFieldValues.
struct Bound {
    int type;
    const char* field;
    const char* value;
    const char* expected;
};

TEST(NodeFields, CheckFieldValuesClampsToTheTableBounds) {
    const Bound bounds[] = {
        {Transform::kNodeType, "scale", "-1,2,0", "0.0,2.0,0.0"},
        {Transform::kNodeType, "translation", "-1e30,5,1e30", nullptr},  // unbounded
        {Material::kNodeType, "diffuseColor", "2,-1,0.5", "1.0,0.0,0.5"},
        {Material::kNodeType, "shininess", "7", "1.0"},
        // Defaults outside the bounds ("not set") stay legal; other values clamp.
        {CompositeTexture2D::kNodeType, "pixelWidth", nullptr, "-1"},
        {CompositeTexture2D::kNodeType, "pixelWidth", "-5", "0"},
        {CompositeTexture2D::kNodeType, "pixelHeight", "70000", "65535"},
        {Form::kNodeType, "size", nullptr, "-1.0,-1.0"},
        {Form::kNodeType, "size", "-3,4", "0.0,4.0"},
        {Switch::kNodeType, "whichChoice", "5000", "1022"},
        // List elements clamp one by one; -1 is the face separator of coordIndex.
        {IndexedFaceSet::kNodeType, "coordIndex", "3;-1;-7", "3;-1;-1"},
        // FAP parameters default to +inf ("not set"), held as the largest int.
        {FAP::kNodeType, "open_jaw", nullptr, "2147483647"},
        {FAP::kNodeType, "open_jaw", "-4", "0"},
        {FAP::kNodeType, "head_yaw", "-4", "-4"},
    };
    for (const Bound& b : bounds) {
        SCOPED_TRACE(std::string(b.field) + " = " + (b.value ? b.value : "default"));
        NodePtr node = NewNode(b.type);
        Field* field = nullptr;
        std::string name;
        for (int i = 0; node->GetFieldName(i, name) == 0; ++i)
            if (name == b.field) field = node->GetField(i);
        ASSERT_NE(field, nullptr);
        if (auto* list = dynamic_cast<MultiField*>(field); list && b.value) {
            std::stringstream elements(b.value);
            for (std::string e; std::getline(elements, e, ';');)
                ASSERT_EQ(list->InsertFromString(list->GetCount(), e), 0);
        } else if (b.value) {
            ASSERT_EQ(dynamic_cast<SFField*>(field)->FromString(b.value), 0);
        }
        const std::string before = TextOf(field);
        EXPECT_EQ(node->CheckFieldValues(), 0);
        EXPECT_EQ(TextOf(field), b.expected ? b.expected : before);
    }
}

}  // namespace
