// SceneTree: registries built from a tree, shared nodes, the BIFS update
// operations and ReplaceScene, including hostile input.
#include <gtest/gtest.h>

#include "node/scenetree.h"
#include "node_test_util.h"

namespace {

// Bytes that a CBIFS_InStream reads; kept alive by the caller.
struct Bytes {
    std::vector<std::uint8_t> data;
    explicit Bytes(const std::function<void(OutStream&)>& write) : data(EncodeBytes(write)) {
        data.resize(data.size() + 8, 0);
    }
    std::unique_ptr<CBIFS_InStream> Stream() const {
        return std::make_unique<CBIFS_InStream>(data.data(),
                                                static_cast<std::uint32_t>(data.size()));
    }
};

// Bytes of 32-bit floats, as field values are coded.
Bytes Floats(std::initializer_list<float> values) {
    return Bytes([values](OutStream& o) {
        for (float f : values) o.WriteFloat(std::bit_cast<std::uint32_t>(f));
    });
}

// Root Group { Transform(ID 1) { children [ Shape(ID 5) ] }, Switch(ID 2) { choice [ Shape 5 ] } }
struct SharedScene {
    SceneTree tree;
    SingleNode* shape = nullptr;
    SingleNode* transform = nullptr;
    SingleNode* sw = nullptr;
    SharedScene() {
        NodePtr root = NewNode(Group::kNodeType), t = NewNode(Transform::kNodeType),
                s = NewNode(Switch::kNodeType), sh = NewNode(Shape::kNodeType);
        t->SetNodeID(1);
        s->SetNodeID(2);
        sh->SetNodeID(5);
        t->SetField(0, sh.Get());
        s->SetField(0, sh.Get());
        root->SetField(0, t.Get());
        root->SetField(0, s.Get());
        EXPECT_EQ(tree.SetRoot(root.Get()), 0);
        shape = sh.Get();
        transform = t.Get();
        sw = s.Get();
    }
};

TEST(SceneTree, EmptyTree) {
    SceneTree tree;
    SingleNode* root = reinterpret_cast<SingleNode*>(1);
    EXPECT_EQ(tree.GetRoot(&root), 1);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(tree.DeleteNode(5), node::kFailCode);
    NodePtr found;
    EXPECT_EQ(tree.FindNode(5, found.Put()), 1);
    EXPECT_EQ(found.Get(), nullptr);
}

TEST(SceneTree, NodeHeldByTwoParentsHasOneEntryAndTwoUses) {
    SharedScene s;
    EXPECT_EQ(s.tree.NodeCount(), 3u);
    auto uses = s.tree.GetUses(5);
    ASSERT_EQ(uses.size(), 2u);
    EXPECT_EQ(uses[0].kind, 0);
    EXPECT_EQ(uses[0].list, &dynamic_cast<Transform*>(s.transform)->children());
    EXPECT_EQ(uses[1].list, &dynamic_cast<Switch*>(s.sw)->choice());
    EXPECT_EQ(s.shape->GetRef(), 2);  // the registries hold no references
    NodePtr found;
    EXPECT_EQ(s.tree.FindNode(5, found.Put()), 0);
    EXPECT_EQ(found.Get(), s.shape);
    EXPECT_EQ(found->GetRef(), 3);
    found.Reset();
    EXPECT_EQ(s.shape->GetRef(), 2);
    // Whole 32-bit IDs are keys: 5 and 5 + 256 are different nodes.
    EXPECT_EQ(s.tree.Lookup(5 + 256), nullptr);
}

TEST(SceneTree, DeleteNodeTakesItFromEveryHolder) {
    SharedScene s;
    NodePtr keep(s.shape);
    EXPECT_EQ(s.tree.DeleteNode(5), node::kOk);
    EXPECT_EQ(dynamic_cast<Transform*>(s.transform)->children().GetCount(), 0);
    EXPECT_EQ(dynamic_cast<Switch*>(s.sw)->choice().GetCount(), 0);
    EXPECT_EQ(keep->GetRef(), 1);
    EXPECT_EQ(s.tree.Lookup(5), nullptr);
    EXPECT_TRUE(s.tree.GetUses(5).empty());
}

TEST(SceneTree, DeleteNodeEmptiesAnSFNodeField) {
    SceneTree tree;
    NodePtr shape = NewNode(Shape::kNodeType), box = NewNode(Box::kNodeType);
    box->SetNodeID(7);
    shape->SetField(1, box.Get());
    tree.SetRoot(shape.Get());
    EXPECT_EQ(tree.GetUses(7).size(), 1u);
    EXPECT_EQ(tree.DeleteNode(7), node::kOk);
    EXPECT_EQ(shape->GetField(1), nullptr);
    EXPECT_EQ(box->GetRef(), 1);
    shape->SetNodeID(8);
    tree.SetRoot(shape.Get());
    EXPECT_EQ(tree.DeleteNode(8), node::kOk);  // the root itself
    SingleNode* root = nullptr;
    tree.GetRoot(&root);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(shape->GetRef(), 1);
}

TEST(SceneTree, NodeMetTwiceWithOneReferenceIsAnError) {
    SceneTree tree;
    NodePtr group = NewNode(Group::kNodeType), t = NewNode(Transform::kNodeType);
    t->SetNodeID(4);
    group->SetField(0, t.Get());
    group->SetField(0, t.Get());
    // Break the model: two places, one reference... of three.
    NodePtr::Adopt(t.Get()).Reset();
    NodePtr::Adopt(t.Get()).Reset();
    EXPECT_EQ(tree.SetRoot(group.Get()), 1);
    EXPECT_EQ(tree.NodeCount(), 1u);
    // Restore the count the list gives back.
    NodePtr(t.Get()).Detach();
    NodePtr(t.Get()).Detach();
}

// Fields of a Transform in list form: translation (DEF 5) = (x, y, z).
void TranslationFields(OutStream& o, float x) {
    o.WriteBits(0, 1);
    o.WriteBits(0, 1);
    o.WriteBits(5, 3);
    for (float f : {x, 0.0f, 0.0f}) o.WriteFloat(std::bit_cast<std::uint32_t>(f));
    o.WriteBits(1, 1);
}

TEST(SceneTree, InsertNodeAtFrontMiddleAndEnd) {
    SharedScene s;
    auto& children = dynamic_cast<Transform*>(s.transform)->children();
    for (auto [pos, x] : {std::pair{255, 1.0f}, std::pair{0, 2.0f}, std::pair{1, 3.0f}}) {
        Bytes b([x](OutStream& o) { TranslationFields(o, x); });
        auto in = b.Stream();
        EXPECT_EQ(s.tree.InsertNode(1, Transform::kNodeType, pos, *in), node::kOk);
    }
    // Order: 2 (front), 3 (before index 1), Shape, 1 (end).
    ASSERT_EQ(children.GetCount(), 4);
    EXPECT_EQ(dynamic_cast<Transform*>(children.GetNodeAt(0))->translation().GetX(), 2);
    EXPECT_EQ(dynamic_cast<Transform*>(children.GetNodeAt(1))->translation().GetX(), 3);
    EXPECT_EQ(children.GetNodeAt(2), s.shape);
    EXPECT_EQ(dynamic_cast<Transform*>(children.GetNodeAt(3))->translation().GetX(), 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(children.GetNodeAt(i)->GetRef(), i == 2 ? 2 : 1);
    // A node outside the list's NDT, an unknown ID and bad data change nothing.
    Bytes empty([](OutStream& o) { o.WriteBits(0b01, 2); });
    auto in = empty.Stream();
    EXPECT_EQ(s.tree.InsertNode(1, Box::kNodeType, 0, *in), node::kFailCode);
    in = empty.Stream();
    EXPECT_EQ(s.tree.InsertNode(77, Group::kNodeType, 0, *in), node::kFailCode);
    Bytes bad([](OutStream& o) { o.WriteBits(0b00111, 5); });  // DEF index 7
    in = bad.Stream();
    EXPECT_EQ(s.tree.InsertNode(1, Transform::kNodeType, 0, *in), node::kFailCode);
    EXPECT_EQ(children.GetCount(), 4);
}

TEST(SceneTree, InsertNodeThatWouldContainItsTargetFails) {
    SharedScene s;
    // A Group whose child is a reference to Transform 1, inserted into 1.
    Bytes b([](OutStream& o) {
        o.WriteBits(0b000, 3);  // list form, field 0 (1 DEF bit)
        o.WriteBits(0b010, 3);  // reserved, list form, a node follows
        o.WriteBits(1, 1);
        o.WriteBits(1, 32);  // isReused, ID 1
        o.WriteBits(0b11, 2);
    });
    auto in = b.Stream();
    EXPECT_EQ(s.tree.InsertNode(1, Group::kNodeType, 255, *in), node::kFailCode);
    EXPECT_EQ(dynamic_cast<Transform*>(s.transform)->children().GetCount(), 1);
    EXPECT_EQ(s.transform->GetRef(), 1);
    EXPECT_EQ(s.tree.NodeCount(), 3u);
}

TEST(SceneTree, ReplaceNodeAndReplaceNodeByID) {
    SharedScene s;
    Bytes b([](OutStream& o) { o.WriteBits(0b01, 2); });  // Group, no fields
    auto in = b.Stream();
    EXPECT_EQ(s.tree.ReplaceNode(5, Group::kNodeType, *in), node::kOk);
    auto& tc = dynamic_cast<Transform*>(s.transform)->children();
    auto& sc = dynamic_cast<Switch*>(s.sw)->choice();
    SingleNode* fresh = tc.GetNodeAt(0);
    EXPECT_EQ(GetNodeType(*fresh), Group::kNodeType);
    EXPECT_EQ(sc.GetNodeAt(0), fresh);
    EXPECT_EQ(fresh->GetRef(), 2);
    EXPECT_EQ(s.tree.Lookup(5), fresh);
    EXPECT_EQ(s.tree.GetUses(5).size(), 2u);

    // Put Switch 2 in the place of node 5 inside Transform 1, but not inside
    // itself: Switch 2 holds node 5, so that would make a cycle.
    EXPECT_EQ(s.tree.ReplaceNodeByID(5, 2), node::kFailCode);
    EXPECT_EQ(tc.GetNodeAt(0), fresh);
    EXPECT_EQ(s.tree.ReplaceNodeByID(5, 1), node::kFailCode);
    // A node of the wrong NDT is refused.
    Bytes box([](OutStream& o) { o.WriteBits(0b01, 2); });
    in = box.Stream();
    EXPECT_EQ(s.tree.ReplaceNode(5, Box::kNodeType, *in), node::kFailCode);
    EXPECT_EQ(tc.GetNodeAt(0), fresh);
}

TEST(SceneTree, ReplaceNodeByIDMovesASharedNode) {
    SceneTree tree;
    NodePtr root = NewNode(Group::kNodeType), a = NewNode(Transform::kNodeType),
            b = NewNode(Transform::kNodeType);
    a->SetNodeID(10);
    b->SetNodeID(11);
    root->SetField(0, a.Get());
    root->SetField(0, b.Get());
    tree.SetRoot(root.Get());
    EXPECT_EQ(tree.ReplaceNodeByID(10, 11), node::kOk);
    auto& children = As<Group>(root).children();
    EXPECT_EQ(children.GetNodeAt(0), b.Get());
    EXPECT_EQ(children.GetNodeAt(1), b.Get());
    EXPECT_EQ(b->GetRef(), 3);
    EXPECT_EQ(a->GetRef(), 1);
    EXPECT_EQ(tree.Lookup(10), nullptr);
    EXPECT_EQ(tree.GetUses(11).size(), 2u);
}

TEST(SceneTree, IndexedValuesOfEveryElementType) {
    SceneTree tree;
    NodePtr interp = NewNode(OrientationInterpolator::kNodeType),
            coord = NewNode(Coordinate::kNodeType), text = NewNode(Text::kNodeType);
    NodePtr root = NewNode(Group::kNodeType);
    interp->SetNodeID(1);
    coord->SetNodeID(2);
    text->SetNodeID(3);
    root->SetField(0, interp.Get());
    NodePtr shape = NewNode(Shape::kNodeType), ifs = NewNode(IndexedFaceSet::kNodeType);
    ifs->SetField(5, coord.Get());
    shape->SetField(1, ifs.Get());
    NodePtr shape2 = NewNode(Shape::kNodeType);
    shape2->SetField(1, text.Get());
    root->SetField(0, shape.Get());
    root->SetField(0, shape2.Get());
    tree.SetRoot(root.Get());
    ASSERT_EQ(tree.NodeCount(), 3u);

    auto rotation = [](float angle) { return Floats({0, 1, 0, angle}); };
    auto& keyValue = As<OrientationInterpolator>(interp).keyValue();
    for (auto [pos, angle] : {std::pair{255, 1.0f}, std::pair{0, 2.0f}, std::pair{255, 3.0f}}) {
        auto b = rotation(angle);
        auto in = b.Stream();
        EXPECT_EQ(tree.InsertIndexedValue(1, 2, pos, *in), node::kOk);  // IN 2 = keyValue
    }
    ASSERT_EQ(keyValue.GetCount(), 3);
    EXPECT_EQ(keyValue[0].GetAngle(), 2);
    EXPECT_EQ(keyValue[2].GetAngle(), 3);
    auto b = rotation(9);
    auto in = b.Stream();
    EXPECT_EQ(tree.ReplaceIndexedValue(1, 2, 255, *in), node::kOk);
    EXPECT_EQ(keyValue[2].GetAngle(), 9);
    in = b.Stream();
    EXPECT_EQ(tree.InsertIndexedValue(1, 2, 9, *in), node::kFailCode);  // past the end
    EXPECT_EQ(tree.DeleteIndexedValue(1, 2, 0), node::kOk);
    EXPECT_EQ(tree.DeleteIndexedValue(1, 2, 255), node::kOk);
    EXPECT_EQ(keyValue.GetCount(), 1);
    EXPECT_EQ(keyValue[0].GetAngle(), 1);
    EXPECT_EQ(tree.DeleteIndexedValue(1, 0, 0), node::kFailCode);  // set_fraction: no list

    Bytes point = Floats({1, 2, 3});
    in = point.Stream();
    EXPECT_EQ(tree.InsertIndexedValue(2, 0, 0, *in), node::kOk);
    EXPECT_EQ(As<Coordinate>(coord).point()[0], SFVec3f(1, 2, 3));

    Bytes word([](OutStream& o) {
        o.WriteBits(16, 5);
        o.WriteBits(2, 16);
        o.WriteChars("hi");
    });
    in = word.Stream();
    EXPECT_EQ(tree.InsertIndexedValue(3, 0, 255, *in), node::kOk);
    EXPECT_EQ(As<Text>(text)._string()[0].Get(), "hi");
    // A truncated value changes nothing.
    Bytes cut([](OutStream& o) { o.WriteBits(16, 5); });
    CBIFS_InStream shortIn(cut.data.data(), 1);
    EXPECT_EQ(tree.InsertIndexedValue(3, 0, 255, shortIn), node::kFailCode);
    EXPECT_EQ(As<Text>(text)._string().GetCount(), 1);
}

TEST(SceneTree, ReplaceFieldOfValuesAndNodes) {
    SceneTree tree;
    NodePtr shape = NewNode(Shape::kNodeType), t = NewNode(Transform::kNodeType);
    shape->SetNodeID(3);
    t->SetNodeID(4);
    t->SetField(0, shape.Get());
    tree.SetRoot(t.Get());
    Bytes v = Floats({4, 5, 6});
    auto in = v.Stream();
    EXPECT_EQ(tree.ReplaceField(4, 7, *in), node::kOk);  // IN 7 = translation
    EXPECT_EQ(As<Transform>(t).translation(), SFVec3f(4, 5, 6));
    in = v.Stream();
    EXPECT_EQ(tree.ReplaceField(4, 3, *in), node::kFailCode);  // children: a list
    // Shape geometry (IN 1) <- a new Box with ID 9 and no fields.
    Bytes box([](OutStream& o) {
        o.WriteBits(0, 1);
        o.WriteBits(2, 5);  // Box in SFGeometryNode
        o.WriteBits(1, 1);
        o.WriteBits(9, 32);
        o.WriteBits(0b01, 2);
    });
    in = box.Stream();
    EXPECT_EQ(tree.ReplaceField(3, 1, *in), node::kOk);
    ASSERT_NE(shape->GetField(1), nullptr);
    EXPECT_EQ(tree.Lookup(9), shape->GetField(1));
    EXPECT_EQ(shape->GetField(1)->IsSingle(), 1);
    EXPECT_EQ(dynamic_cast<SingleNode*>(shape->GetField(1))->GetRef(), 1);
}

TEST(SceneTree, ReplaceSceneReadsTheRootAndRegistersIDs) {
    // Encode a scene, then read it back as a SceneReplace body would.
    SharedScene s;
    SingleNode* root = nullptr;
    s.tree.GetRoot(&root);
    auto whole = EncodeNodeBytes(*root, NDT_SFTopNode);
    // Skip isReused (1) and the SFTopNode code (2); ReplaceScene reads the rest.
    auto body = EncodeBytes([&](OutStream& o) {
        for (char bit : BitString(whole).substr(3)) o.WriteBits(bit == '1', 1);
    });
    SceneTree tree;
    CBIFS_InStream in(body.data(), static_cast<std::uint32_t>(body.size()));
    ASSERT_EQ(tree.ReplaceScene(Group::kNodeType, in), node::kOk);
    EXPECT_EQ(tree.NodeCount(), 3u);
    EXPECT_EQ(tree.GetUses(5).size(), 2u);
    EXPECT_EQ(tree.Lookup(5)->GetRef(), 2);
    SingleNode* back = nullptr;
    tree.GetRoot(&back);
    EXPECT_EQ(EncodeNodeBytes(*back, NDT_SFTopNode), whole);

    // Every truncation fails and leaves an empty tree.
    for (std::size_t len = 0; len < body.size(); ++len) {
        CBIFS_InStream cut(body.data(), static_cast<std::uint32_t>(len));
        EXPECT_EQ(tree.ReplaceScene(Group::kNodeType, cut), node::kFailCode) << len;
        tree.GetRoot(&back);
        EXPECT_EQ(back, nullptr);
        EXPECT_EQ(tree.NodeCount(), 0u);
    }
    CBIFS_InStream none(body.data(), static_cast<std::uint32_t>(body.size()));
    EXPECT_EQ(tree.ReplaceScene(22, none), node::kFailCode);
}

}  // namespace
