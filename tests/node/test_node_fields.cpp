// Field rules of the node classes: SetField by kind of field, string lists,
// grouping operations, reference counts, CheckFieldValues and typed access.
#include <gtest/gtest.h>

#include "node_test_util.h"

namespace {

TEST(NodeFields, TransformNumberingsAndAccess) {
    NodeRef t(Transform::kNodeType);
    std::string name;
    EXPECT_EQ(t->GetDEFField(6), nullptr);
    EXPECT_EQ(t->DEFToAll(0), 2);
    EXPECT_EQ(t->GetFieldName(5, name), 0);
    EXPECT_EQ(name, "scale");
    EXPECT_EQ(t->GetField(0), nullptr);
    EXPECT_EQ(t->GetField(3), &t.as<Transform>().children());
    EXPECT_EQ(t->GetFieldNDT(3), GetNDTTable(NDT_SF3DNode));
    EXPECT_EQ(t->GetFieldNDT(5), nullptr);
    EXPECT_EQ(t->GetDYNFieldNDT(1), nullptr);  // DYN 1 is rotation
    EXPECT_EQ(t->GetOUTFieldNDT(1), GetNDTTable(NDT_SF3DNode));

    SFVec3f where(1, 2, 3);
    EXPECT_EQ(t->SetField(7, &where), 0);
    EXPECT_EQ(t.as<Transform>().translation(), where);
    SFRotation wrongType(0, 1, 0, 1);
    EXPECT_EQ(t->SetField(7, &wrongType), 1);
    EXPECT_EQ(t->SetField(8, &where), 1);
    EXPECT_EQ(t->SetField(-1, &where), 1);

    NodeRef a(AudioSwitch::kNodeType), s(Switch::kNodeType), v(VisibilitySensor::kNodeType);
    a->GetFieldName(3, name);
    EXPECT_EQ(name, "whiceChoice");
    s->GetFieldName(1, name);
    EXPECT_EQ(name, "whichChoice");
    EXPECT_EQ(v->GetFieldName(5, name), 0);
    EXPECT_EQ(name, "isActive");
    EXPECT_EQ(v->GetFieldName(6, name), 1);
}

TEST(NodeFields, SFNodeFieldsConvertToTheirNDT) {
    NodeRef shape(Shape::kNodeType), app(Appearance::kNodeType), box(Box::kNodeType);
    auto& sh = shape.as<Shape>();
    EXPECT_EQ(shape->SetField(1, app.get()), 1);  // geometry <- Appearance
    EXPECT_EQ(sh.geometry().get(), nullptr);
    EXPECT_EQ(app->GetRef(), 1);
    EXPECT_EQ(shape->SetField(1, box.get()), 0);
    EXPECT_EQ(shape->GetField(1), box.get());
    EXPECT_EQ(static_cast<SingleNode*>(sh.geometry().get()), box.get());
    EXPECT_EQ(box->GetRef(), 2);
    EXPECT_EQ(shape->SetField(1, app.get()), 1);  // still the box
    EXPECT_EQ(shape->GetField(1), box.get());
    SFFloat notANode(1);
    EXPECT_EQ(shape->SetField(1, &notANode), 1);
    EXPECT_EQ(shape->SetField(1, nullptr), 0);
    EXPECT_EQ(box->GetRef(), 1);
    EXPECT_EQ(shape->GetField(1), nullptr);
}

TEST(NodeFields, ChildrenArriveThroughAddChildrenOnly) {
    NodeRef group(Group::kNodeType), box(Box::kNodeType), t(Transform::kNodeType);
    auto& children = group.as<Group>().children();
    EXPECT_EQ(group->SetField(0, t.get()), 0);  // addChildren
    EXPECT_EQ(group->SetField(0, t.get()), 0);  // twice: two entries, two references
    EXPECT_EQ(children.GetCount(), 2);
    EXPECT_EQ(t->GetRef(), 3);
    EXPECT_EQ(group->SetField(2, t.get()), 1);  // children: not settable
    EXPECT_EQ(group->SetField(1, t.get()), 1);  // removeChildren: not settable
    SFInt32 notANode(0);
    EXPECT_EQ(group->SetField(0, &notANode), 1);
    EXPECT_EQ(children.GetCount(), 2);

    auto* grouping = dynamic_cast<GroupingNode*>(group.get());
    ASSERT_NE(grouping, nullptr);
    grouping->RemoveChildren(0);
    EXPECT_EQ(t->GetRef(), 2);
    grouping->RemoveChildren(5);
    grouping->AddChildren(box.get());
    EXPECT_EQ(&grouping->Children(), &children);
    EXPECT_EQ(children.GetCount(), 2);
    EXPECT_EQ(dynamic_cast<GroupingNode*>(box.get()), nullptr);
}

TEST(NodeFields, OtherNodeListsAppendNodesOfTheirNDT) {
    NodeRef sw(Switch::kNodeType), lod(LOD::kNodeType), t(Transform::kNodeType),
        box(Box::kNodeType);
    EXPECT_EQ(sw->SetField(0, t.get()), 0);
    EXPECT_EQ(sw->SetField(0, t.get()), 0);
    EXPECT_EQ(sw->SetField(0, box.get()), 1);  // a geometry is not an SF3DNode
    EXPECT_EQ(sw.as<Switch>().choice().GetCount(), 2);
    EXPECT_EQ(lod->SetField(0, t.get()), 0);
    EXPECT_EQ(lod.as<LOD>().level().GetCount(), 1);
    EXPECT_EQ(t->GetRef(), 4);
}

TEST(NodeFields, StringListsFollowTheUrlNameRule) {
    NodeRef bg(Background::kNodeType), tex(ImageTexture::kNodeType);
    std::string name;
    bg->GetFieldName(3, name);
    ASSERT_EQ(name, "backUrl");
    EXPECT_EQ(bg->GetField(3)->GetFieldType(), kFieldSFString);
    EXPECT_EQ(tex->GetField(0)->GetFieldType(), kFieldSFURL);  // url

    // Either kind of string list is stored in either kind of field.
    MFField<SFString> strings{SFString("sky.jpg")};
    MFField<SFURL> urls{SFURL("a.jpg"), SFURL("b.jpg")};
    EXPECT_EQ(bg->SetField(3, &strings), 0);
    EXPECT_EQ(bg->SetField(4, &urls), 0);
    EXPECT_EQ(bg.as<Background>().bottomUrl().GetCount(), 2);
    EXPECT_EQ(bg.as<Background>().bottomUrl()[1].Get(), "b.jpg");
    EXPECT_EQ(tex->SetField(0, &strings), 0);
    EXPECT_EQ(tex.as<ImageTexture>().url()[0].Get(), "sky.jpg");
    MFField<SFFloat> floats{SFFloat(1)};
    EXPECT_EQ(tex->SetField(0, &floats), 1);
    EXPECT_EQ(tex.as<ImageTexture>().url().GetCount(), 1);
}

TEST(NodeFields, SetEventsForwardToTheirField) {
    NodeRef grid(ElevationGrid::kNodeType), interp(PositionInterpolator::kNodeType);
    MFField<SFFloat> heights{SFFloat(1), SFFloat(2)};
    EXPECT_EQ(grid->SetField(0, &heights), 0);  // set_height
    EXPECT_EQ(grid.as<ElevationGrid>().height(), heights);
    SFFloat fraction(0.5f);
    EXPECT_EQ(interp->SetField(0, &fraction), 1);  // set_fraction stores nothing
    NodeRef touch(TouchSensor::kNodeType);
    EXPECT_TRUE(touch.as<TouchSensor>().enabled().Get());  // a stored eventIn
}

TEST(NodeFields, CheckFieldValuesClampsToTheTableBounds) {
    NodeRef t(Transform::kNodeType);
    auto& tr = t.as<Transform>();
    EXPECT_EQ(tr.scale(), SFVec3f(1, 1, 1));
    EXPECT_EQ(tr.rotation(), SFRotation(0, 0, 1, 0));
    tr.scale().Set(-1, 2, 0);
    tr.translation().Set(-1e30f, 5, 1e30f);
    EXPECT_EQ(t->CheckFieldValues(), 0);
    EXPECT_EQ(tr.scale(), SFVec3f(0, 2, 0));
    EXPECT_EQ(tr.translation(), SFVec3f(-1e30f, 5, 1e30f));

    NodeRef m(Material::kNodeType);
    m.as<Material>().diffuseColor().Set(2, -1, 0.5f);
    m.as<Material>().shininess().Set(7);
    m->CheckFieldValues();
    EXPECT_EQ(m.as<Material>().diffuseColor(), SFColor(1, 0, 0.5f));
    EXPECT_EQ(m.as<Material>().shininess().Get(), 1);

    // Defaults outside the bounds ("not set") stay legal; other values clamp.
    NodeRef ct(CompositeTexture2D::kNodeType);
    auto& c = ct.as<CompositeTexture2D>();
    ct->CheckFieldValues();
    EXPECT_EQ(c.pixelWidth().Get(), -1);
    c.pixelWidth().Set(-5);
    c.pixelHeight().Set(70000);
    ct->CheckFieldValues();
    EXPECT_EQ(c.pixelWidth().Get(), 0);
    EXPECT_EQ(c.pixelHeight().Get(), 65535);
    NodeRef form(Form::kNodeType);
    form->CheckFieldValues();
    EXPECT_EQ(form.as<Form>().size(), SFVec2f(-1, -1));
    form.as<Form>().size().Set(-3, 4);
    form->CheckFieldValues();
    EXPECT_EQ(form.as<Form>().size(), SFVec2f(0, 4));
    NodeRef sw(Switch::kNodeType);
    sw.as<Switch>().whichChoice().Set(5000);
    sw->CheckFieldValues();
    EXPECT_EQ(sw.as<Switch>().whichChoice().Get(), 1022);
    // List elements clamp one by one; -1 is the face separator of coordIndex.
    NodeRef ifs(IndexedFaceSet::kNodeType);
    auto& idx = ifs.as<IndexedFaceSet>().coordIndex();
    idx.PushBack(SFInt32(3));
    idx.PushBack(SFInt32(-1));
    idx.PushBack(SFInt32(-7));
    ifs->CheckFieldValues();
    EXPECT_EQ(idx, (MFField<SFInt32>{SFInt32(3), SFInt32(-1), SFInt32(-1)}));
    // FAP parameters default to +inf ("not set"), held as the largest int.
    NodeRef fap(FAP::kNodeType);
    fap->CheckFieldValues();
    EXPECT_EQ(fap.as<FAP>().open_jaw().Get(), kInt32PlusInf);
    fap.as<FAP>().open_jaw().Set(-4);
    fap.as<FAP>().head_yaw().Set(-4);
    fap->CheckFieldValues();
    EXPECT_EQ(fap.as<FAP>().open_jaw().Get(), 0);
    EXPECT_EQ(fap.as<FAP>().head_yaw().Get(), -4);
}

TEST(NodeFields, DestroyingASubtreeReleasesEveryNode) {
    NodeRef box(Box::kNodeType);
    {
        NodeRef t(Transform::kNodeType), shape(Shape::kNodeType);
        shape->SetField(1, box.get());
        t->SetField(0, shape.get());
        t->SetField(0, shape.get());
        EXPECT_EQ(shape->GetRef(), 3);
        EXPECT_EQ(box->GetRef(), 2);
    }
    EXPECT_EQ(box->GetRef(), 1);
}

}  // namespace
