// Node coding: the bits EncodeNode writes (worked examples, shared nodes,
// repeated passes), an encode -> decode round trip of every class with
// non-default values, and decoding of hostile input.
#include <gtest/gtest.h>

#include <bitset>
#include <functional>

#include "node/scenetree.h"
#include "node_test_util.h"

namespace {

std::string FloatBits(std::initializer_list<float> values) {
    std::string s;
    for (float v : values) s += std::bitset<32>(std::bit_cast<std::uint32_t>(v)).to_string();
    return s;
}

std::string EncodedBits(SingleNode& node, std::uint8_t ndt) {
    return BitString(EncodeNodeBytes(node, ndt));
}

// Decodes one SFNode of NDT `ndt` from `bytes`; null on failure.
NodePtr DecodeBytes(const std::vector<std::uint8_t>& bytes, std::uint8_t ndt,
                    SceneTree* tree = nullptr) {
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    NodePtr node;
    HRESULT result = DecodeSFNode(in, ndt, tree, nullptr, nullptr, node.Put());
    EXPECT_EQ(result == node::kOk, node.Get() != nullptr);
    return node;
}

// Gives every DEF field of `node` a value that is not its default.
void SetNonDefaults(SingleNode& node) {
    static const std::map<std::uint8_t, std::string> texts = {
        {kFieldSFInt32, "7"},           {kFieldSFFloat, "0.375"},
        {kFieldSFTime, "12.5"},         {kFieldSFString, "a b"},
        {kFieldSFURL, "file.jpg"},      {kFieldSFVec2f, "0.25,0.5"},
        {kFieldSFVec3f, "0.25,0.5,1"},  {kFieldSFColor, "0.25,0.5,0.75"},
        {kFieldSFRotation, "0,1,0,1.5"}};
    auto& impl = dynamic_cast<NodeImpl&>(node);
    for (int d = 0; d < node.GetDEFCount(); ++d) {
        const int all = node.DEFToAll(d);
        const FieldDesc& f = *impl.FieldInfo(all);
        Field* field = node.GetField(all);
        if (f.type == kFieldSFNode || f.type == kFieldMFNode) {
            NodePtr child = NewNode(FirstTypeIn(f.ndt));
            if (f.type == kFieldSFNode) {
                ASSERT_EQ(node.SetField(all, child.Get()), 0) << f.name;
            } else {
                dynamic_cast<MultiNode*>(field)->AddNode(child.Get());
            }
        } else if (f.type == kFieldSFBool && !f.multi) {
            auto& b = dynamic_cast<SFBool&>(*field);
            b.Set(!b.Get());
        } else if (f.multi) {
            auto& list = dynamic_cast<MultiField&>(*field);
            list.Clear();
            ASSERT_EQ(list.InsertFromString(0, texts.at(f.type)), 0) << f.name;
            ASSERT_EQ(list.InsertFromString(0, texts.at(f.type)), 0) << f.name;
        } else {
            ASSERT_EQ(dynamic_cast<SFField&>(*field).FromString(texts.at(f.type)), 0) << f.name;
        }
    }
}

// Each node: isReused 0, local code, isUpdateable 0, list form 0, then per
// field "0", its DEF index and value, and "1" to end.
TEST(NodeEncoding, WorkedExamplesBitForBit) {
    NodePtr group = NewNode(Group::kNodeType);
    EXPECT_EQ(EncodedBits(*group, NDT_SFTopNode), Bits("0 01 0 0 0 0 011 1", true));
    NodePtr touch = NewNode(TouchSensor::kNodeType);
    EXPECT_EQ(EncodedBits(*touch, NDT_SF3DNode), Bits("0 101010 0 0 1", true));
    NodePtr shape = NewNode(Shape::kNodeType);
    EXPECT_EQ(EncodedBits(*shape, NDT_SF2DNode), Bits("0 10111 0 0 1", true));
    NodePtr fdt = NewNode(FaceDefTransform::kNodeType);
    EXPECT_EQ(EncodedBits(*fdt, NDT_SFFaceDefTransformNode).substr(0, 2), "01");
    // An ID is written after the isUpdateable bit.
    group->SetNodeID(5);
    EXPECT_EQ(EncodedBits(*group, NDT_SFTopNode).substr(0, 36),
              Bits("0 01 1 00000000000000000000000000000101"));

    NodePtr t = NewNode(Transform::kNodeType);
    std::string fields = "0 000" + FloatBits({0, 0, 0});  // center
    fields += "0 001 011";                                // children: empty list
    fields += "0 010" + FloatBits({0, 0, 1, 0});          // rotation
    fields += "0 011" + FloatBits({1, 1, 1});             // scale
    fields += "0 100" + FloatBits({0, 0, 1, 0});          // scaleOrientation
    fields += "0 101" + FloatBits({0, 0, 0}) + "1";       // translation, end
    EXPECT_EQ(EncodedBits(*t, NDT_SF3DNode), Bits("0 101011 0 0" + fields, true));

    // Two DEF bits: center, size, enabled.
    NodePtr p = NewNode(ProximitySensor2D::kNodeType);
    EXPECT_EQ(EncodedBits(*p, NDT_SF2DNode),
              Bits("0 10011 0 0 0 00" + FloatBits({0, 0}) + "0 01" + FloatBits({0, 0}) + "0 10 1 1",
                   true));
}

TEST(NodeEncoding, SharedNodeIsWrittenOnceThenAsReference) {
    NodePtr group = NewNode(Group::kNodeType);
    SingleNode* t = nullptr;
    {
        NodePtr made = NewNode(Transform::kNodeType);
        t = made.Get();
        t->SetNodeID(9);
        group->SetField(0, t);  // addChildren
        group->SetField(0, t);
    }  // the list now holds the only two references
    ASSERT_EQ(t->GetRef(), 2);

    auto first = EncodeNodeBytes(*group, NDT_SFTopNode);
    EXPECT_EQ(t->GetVisitCount(), 0u);
    EXPECT_EQ(EncodeNodeBytes(*group, NDT_SFTopNode), first);
    // The second child is "0" (another node) "1" (isReused) and the 32-bit ID.
    EXPECT_NE(BitString(first).find(Bits("0 1 00000000000000000000000000001001 1")),
              std::string::npos);

    // EncodeNode called twice by hand: in full, then as a reference.
    auto full = EncodeNodeBytes(*t, NDT_SF3DNode);
    EXPECT_GT(full.size(), 5u);
    EXPECT_EQ(EncodedBits(*t, NDT_SF3DNode), Bits("1 00000000000000000000000000001001", true));
    EXPECT_EQ(EncodeNodeBytes(*t, NDT_SF3DNode), full);
}

TEST(NodeEncoding, EveryClassRoundTripsWithNonDefaultValues) {
    InitNDTTables();
    for (int type = 1; type <= 100; ++type) {
        NodePtr node = NewNode(type);
        if (node.Get() == nullptr) continue;
        std::string name;
        GetNodeTypeName(type, name);
        SCOPED_TRACE(name);
        SetNonDefaults(*node);
        node->SetNodeID(1000 + type);
        auto bytes = EncodeNodeBytes(*node, NDT_SFWorldNode);
        NodePtr back = DecodeBytes(bytes, NDT_SFWorldNode);
        ASSERT_NE(back.Get(), nullptr);
        EXPECT_EQ(GetNodeType(*back), type);
        EXPECT_EQ(back->GetNodeID(), 1000u + type);
        EXPECT_EQ(back->GetRef(), 1);
        EXPECT_EQ(EncodeNodeBytes(*back, NDT_SFWorldNode), bytes);
        for (int d = 0; d < node->GetDEFCount(); ++d) {
            Field* a = node->GetDEFField(d);
            Field* b = back->GetDEFField(d);
            ASSERT_EQ(a == nullptr, b == nullptr) << d;
            EXPECT_EQ(TextOf(a), TextOf(b)) << "DEF " << d;
            if (auto* l = dynamic_cast<MultiNode*>(a)) {
                EXPECT_EQ(l->GetCount(), dynamic_cast<MultiNode*>(b)->GetCount()) << "DEF " << d;
            }
        }
    }
}

TEST(NodeDecoding, MaskFormAndVectorFormLists) {
    // A Group whose children come in vector form (width 2, count 2), each a
    // Transform in mask form with only translation set.
    std::vector<std::uint8_t> bytes = EncodeBytes([](OutStream& out) {
        out.WriteBits(0, 1);
        out.WriteBits(17, 6);  // Group in SF3DNode
        out.WriteBits(0, 1);
        out.WriteBits(1, 1);     // mask form
        out.WriteBits(1, 1);     // children present
        out.WriteBits(0b00, 2);  // reserved, vector form
        out.WriteBits(2, 5);     // width
        out.WriteBits(2, 2);     // count
        for (int i = 0; i < 2; ++i) {
            out.WriteBits(0, 1);
            out.WriteBits(43, 6);  // Transform
            out.WriteBits(0, 1);
            out.WriteBits(1, 1);  // mask form
            out.WriteBits(0b000001, 6);
            for (float f : {1.0f, 2.0f, 3.0f}) out.WriteFloat(std::bit_cast<std::uint32_t>(f));
        }
    });
    NodePtr group = DecodeBytes(bytes, NDT_SF3DNode);
    ASSERT_NE(group.Get(), nullptr);
    auto& children = As<Group>(group).children();
    ASSERT_EQ(children.GetCount(), 2);
    auto* t = dynamic_cast<Transform*>(children.GetNodeAt(1));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->translation(), SFVec3f(1, 2, 3));
    EXPECT_EQ(t->scale(), SFVec3f(1, 1, 1));
    EXPECT_EQ(t->GetRef(), 1);
}

// A rich scene encoded: grouping, a shared node with an ID, geometry, strings.
std::vector<std::uint8_t> RichSceneBytes() {
    NodePtr root = NewNode(Group::kNodeType), t = NewNode(Transform::kNodeType),
            shape = NewNode(Shape::kNodeType), box = NewNode(Box::kNodeType),
            app = NewNode(Appearance::kNodeType), mat = NewNode(Material::kNodeType),
            text = NewNode(Text::kNodeType), shape2 = NewNode(Shape::kNodeType);
    shape->SetNodeID(3);
    app->SetField(0, mat.Get());
    shape->SetField(0, app.Get());
    shape->SetField(1, box.Get());
    t->SetField(0, shape.Get());
    root->SetField(0, t.Get());
    root->SetField(0, shape.Get());
    As<Text>(text)._string().PushBack(SFString("hello"));
    shape2->SetField(1, text.Get());
    root->SetField(0, shape2.Get());
    return EncodeNodeBytes(*root, NDT_SFTopNode);
}

// Random damage: BifsConvertTest.EveryPrefixAndRandomFlipsFailCleanly.
TEST(NodeDecoding, EveryTruncationOfARealEncodingFailsCleanly) {
    const auto bytes = RichSceneBytes();
    {
        SceneTree readTree;
        NodePtr whole = DecodeBytes(bytes, NDT_SFTopNode, &readTree);
        ASSERT_NE(whole.Get(), nullptr);
        EXPECT_EQ(EncodeNodeBytes(*whole, NDT_SFTopNode), bytes);
    }
    for (std::size_t len = 0; len < bytes.size(); ++len) {
        SceneTree readTree;
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(len));
        NodePtr node;
        EXPECT_EQ(DecodeSFNode(in, NDT_SFTopNode, &readTree, nullptr, nullptr, node.Put()),
                  node::kFailCode)
            << len;
        EXPECT_EQ(node.Get(), nullptr);
        EXPECT_TRUE(in.HasError());
    }
}

std::vector<std::uint8_t> NestedGroups(int depth) {
    return EncodeBytes([depth](OutStream& o) {
        for (int i = 0; i < depth; ++i) {
            o.WriteBits(0, 1);
            o.WriteBits(17, 6);
            o.WriteBits(0, 2);      // no ID, list form
            o.WriteBits(0b00, 2);   // field 0
            o.WriteBits(0b010, 3);  // children: list form, one node
        }
        o.WriteBits(0, 1);
        o.WriteBits(17, 6);
        o.WriteBits(0b001, 3);                                 // no ID, list form, end
        for (int i = 0; i < depth; ++i) o.WriteBits(0b11, 2);  // end of list, end of fields
    });
}

// Group 1 (an SF3DNode with ID 1) whose children list holds what `child`
// writes, from bit 46 on.
std::function<void(OutStream&)> GroupOneWith(std::function<void(OutStream&)> child) {
    return [child](OutStream& o) {
        o.WriteBits(0, 1);
        o.WriteBits(17, 6);
        o.WriteBits(1, 1);
        o.WriteBits(1, 32);
        o.WriteBits(0b000, 3);  // list form, a field: index 0, children
        o.WriteBits(0b010, 3);  // reserved, list form, one node follows
        child(o);
    };
}

// Each refusal of the decoder with its reason and the bit it points at.
TEST(NodeDecoding, HostileStreamsFailWithTheirReasonAndBit) {
    using Write = std::function<void(OutStream&)>;
    const std::string title(70000, 't');
    struct Case {
        const char* what;
        Write write;
        bool tree;
        std::string error;
    } cases[] = {
        {"a local code no class has", [](OutStream& o) { o.WriteBits(8, 7); }, false,
         "node code 8 not in NDT SF3DNode at bit 1"},
        {"local code 0", [](OutStream& o) { o.WriteBits(0, 7); }, false,
         "node code 0 not in NDT SF3DNode at bit 1"},
        {"a DEF index past the DEF count",
         [](OutStream& o) {
             o.WriteBits(17, 7);
             o.WriteBits(0b0001, 4);  // no ID, list form, a field, index 1
         },
         false, "field index 1 out of range for Group (1 field) at bit 10"},
        {"a reference without a tree", [](OutStream& o) { o.WriteBits(0x1FFFFFFFFull, 33); }, false,
         "node ID 4294967295 not defined at bit 1"},
        {"a reference to an unknown ID", [](OutStream& o) { o.WriteBits(0x100000007ull, 33); },
         true, "node ID 7 not defined at bit 1"},
        {"a vector-form node list longer than the data",
         [](OutStream& o) {
             o.WriteBits(17, 7);
             o.WriteBits(0, 4);  // no ID, list form, field 0
             o.WriteBits(0, 2);  // reserved, vector form
             o.WriteBits(31, 5);
             o.WriteBits(0x7FFFFFFF, 31);
         },
         false, "a list of 2147483647 elements runs past the end of the data at bit 11"},
        {"a node that refers to itself",
         GroupOneWith([](OutStream& o) { o.WriteBits(0x100000001ull, 33); }), true,
         "node ID 1 used inside itself at bit 47"},
        {"a node that refers to its ancestor", GroupOneWith([](OutStream& o) {
             o.WriteBits(0, 1);
             o.WriteBits(43, 6);  // Transform
             o.WriteBits(0b00, 2);
             o.WriteBits(0b0001, 4);  // field 1: children
             o.WriteBits(0b010, 3);
             o.WriteBits(0x100000001ull, 33);  // Group 1
         }),
         true, "node ID 1 used inside itself at bit 63"},
        {"a reference where its type does not belong", GroupOneWith([](OutStream& o) {
             // Group 1's first child is Shape 2, its second a reference to
             // Shape 2 in Shape 2's appearance field.
             o.WriteBits(0, 1);
             o.WriteBits(36, 6);  // Shape
             o.WriteBits(1, 1);
             o.WriteBits(2, 32);
             o.WriteBits(0b000, 3);  // list form, a field: index 0, appearance
             o.WriteBits(0x100000002ull, 33);
         }),
         true, "node ID 2 (Shape) not in NDT SFAppearanceNode at bit 90"},
        {"an ID defined twice", GroupOneWith([](OutStream& o) {
             o.WriteBits(0, 1);
             o.WriteBits(17, 6);
             o.WriteBits(1, 1);
             o.WriteBits(1, 32);
         }),
         true, "node ID 1 defined twice at bit 54"},
        {"a field given twice",
         [](OutStream& o) {
             o.WriteBits(17, 7);
             o.WriteBits(0b0000, 4);  // no ID, list form, a field: children
             o.WriteBits(0b011, 3);   // reserved 0, list form, end of list
             o.WriteBits(0b00, 2);    // a field: children again
         },
         false, "field children of Group given twice at bit 15"},
        {"a string longer than its coding carries",
         [&title](OutStream& o) {
             o.WriteBits(0, 1);
             o.WriteBits(48, 6);    // WorldInfo in SF3DNode
             o.WriteBits(0b00, 2);  // no ID, list form
             o.WriteBits(0b01, 2);  // a field: index 1, title
             o.WriteBits(17, 5);    // bit 11: length width 17
             o.WriteBits(70000, 17);
             for (char c : title) o.WriteBits(static_cast<unsigned char>(c), 8);
         },
         false, "a string of 70000 bytes, longer than the 65535 a BIFS string holds at bit 11"},
        {"a node list cut short",
         [](OutStream& o) {
             o.WriteBits(17, 7);
             o.WriteBits(0b0000, 4);
             o.WriteBits(0b010, 3);  // one node follows, then nothing
         },
         false, "truncated at bit 15 (the data ends at bit 16)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = EncodeBytes(c.write);
        SceneTree tree;
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        NodePtr node;
        EXPECT_EQ(
            DecodeSFNode(in, NDT_SF3DNode, c.tree ? &tree : nullptr, nullptr, nullptr, node.Put()),
            node::kFailCode);
        EXPECT_EQ(node.Get(), nullptr);
        EXPECT_EQ(in.ErrorText(), c.error);
    }
    // Nesting: 1000 levels are read, the 1001st is refused where it starts.
    NodePtr shallow = DecodeBytes(NestedGroups(999), NDT_SF3DNode);
    EXPECT_NE(shallow.Get(), nullptr);
    auto deep = NestedGroups(1000);
    CBIFS_InStream in(deep.data(), static_cast<std::uint32_t>(deep.size()));
    NodePtr node;
    EXPECT_EQ(DecodeSFNode(in, NDT_SF3DNode, nullptr, nullptr, nullptr, node.Put()),
              node::kFailCode);
    EXPECT_EQ(in.ErrorText(),
              "nesting deeper than 1000 levels at bit " + std::to_string(1000 * 14 + 8));
}

// What the encoder refuses: nothing is cut or left out silently.
TEST(NodeEncoding, RefusesWhatTheCodingCannotCarry) {
    auto refusal = [](SingleNode& node, std::uint8_t ndt) {
        SingleNode::EncodingPass pass;  // every node's first visit writes it in full
        OutToMemory out;
        EXPECT_EQ(node.EncodeNode(out, ndt), node::kFailCode);
        return out.ErrorText();
    };
    NodePtr info = NewNode(WorldInfo::kNodeType);
    As<WorldInfo>(info).title().Set(std::string(65535, 'x'));
    NodePtr back = DecodeBytes(EncodeNodeBytes(*info, NDT_SF3DNode), NDT_SF3DNode);
    ASSERT_NE(back.Get(), nullptr);
    EXPECT_EQ(As<WorldInfo>(back).title().Get().size(), 65535u);
    As<WorldInfo>(info).title().Set(std::string(65536, 'x'));
    EXPECT_EQ(refusal(*info, NDT_SF3DNode),
              "WorldInfo.title: a string of 65536 bytes, longer than the 65535 a BIFS string "
              "holds");
    As<WorldInfo>(info).title().Set("");
    As<WorldInfo>(info).info().PushBack(SFString("short"));
    As<WorldInfo>(info).info().PushBack(SFString(std::string(100000, 'y')));
    EXPECT_EQ(refusal(*info, NDT_SF3DNode),
              "WorldInfo.info: element 1: a string of 100000 bytes, longer than the 65535 a "
              "BIFS string holds");
    // A node where its type does not belong (a grouping node takes any node as a child).
    NodePtr group = NewNode(Group::kNodeType), nav = NewNode(NavigationInfo::kNodeType);
    group->SetField(0, nav.Get());
    EXPECT_EQ(refusal(*group, NDT_SF3DNode), "Group.children: NavigationInfo not in NDT SF3DNode");
    EXPECT_EQ(refusal(*nav, NDT_SFTopNode), "NavigationInfo not in NDT SFTopNode");
    // Nesting: as deep as the decoder reads and no deeper.
    for (int levels : {1000, 1001}) {
        NodePtr top = NewNode(Group::kNodeType);
        SingleNode* inner = top.Get();
        for (int i = 1; i < levels; ++i) {
            NodePtr next = NewNode(Group::kNodeType);
            inner->SetField(0, next.Get());
            inner = next.Get();
        }
        OutToMemory out;
        const HRESULT result = top->EncodeNode(out, NDT_SF3DNode);
        if (levels == 1000) {
            ASSERT_EQ(result, node::kOk);
            EXPECT_NE(DecodeBytes(out.Finish(), NDT_SF3DNode).Get(), nullptr);
        } else {
            EXPECT_EQ(result, node::kFailCode);
            EXPECT_EQ(out.ErrorText(), "Group.children: nesting deeper than 1000 levels");
        }
    }
}

// Widths of field indices: the generated DEF widths follow the rule that
// also gives the widths of the route field indices.
TEST(NodeCoding, FieldIndexWidths) {
    for (auto [count, bits] : {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {68, 7}})
        EXPECT_EQ(FieldIndexBits(count), bits) << count;
    for (int type = 1; type <= 100; ++type) {
        if (NodePtr node = NewNode(type)) {
            EXPECT_EQ(node->GetDEFBits(), FieldIndexBits(node->GetDEFCount())) << type;
        }
    }
}

}  // namespace
