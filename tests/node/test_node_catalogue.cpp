// Walks all 97 node classes and checks each against the catalogue tables the
// classes are generated from: names in ALL order, kinds, types, defaults, the
// DEF/IN/OUT/DYN numberings, DEF bits, NDT membership and local codes,
// GetFieldNDT, the factory and reference counts. A failing cell names the
// node and the field.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "node_test_util.h"

namespace {

struct ClassRows {
    int id = 0;
    std::string name;
    std::vector<TableRow> fields;
};

std::map<int, ClassRows> Classes() {
    std::map<int, ClassRows> classes;
    for (const TableRow& r : ReadTable(CatalogueFile("node-tables.tsv"))) {
        ClassRows& c = classes[std::stoi(r.at("node_id"))];
        c.id = std::stoi(r.at("node_id"));
        c.name = r.at("node");
        c.fields.push_back(r);
    }
    return classes;
}

std::uint8_t TypeCode(const std::string& type, const std::string& field) {
    static const std::map<std::string, std::uint8_t> codes = {
        {"Bool", kFieldSFBool},   {"Int32", kFieldSFInt32},   {"Float", kFieldSFFloat},
        {"Time", kFieldSFTime},   {"String", kFieldSFString}, {"Vec2f", kFieldSFVec2f},
        {"Vec3f", kFieldSFVec3f}, {"Color", kFieldSFColor},   {"Rotation", kFieldSFRotation},
        {"Node", kFieldSFNode}};
    if (type == "MFNode") return kFieldMFNode;
    std::uint8_t code = codes.at(type.substr(2));
    // String lists whose name ends in "url" hold URLs (the loader's rule).
    if (type == "MFString" && field.size() >= 3 && field.compare(field.size() - 3, 3, "url") == 0) {
        code = kFieldSFURL;
    }
    return code;
}

// The TSV default as the field's own text form: components joined by ","
// and list elements added one by one; +inf of an SFInt32 is kInt32PlusInf.
std::string ExpectedText(Field& like, const std::string& cell) {
    auto sfText = [](std::uint8_t type, std::string text) {
        std::unique_ptr<SFField> v = CreateSFField(type);
        if (type == kFieldSFInt32 && (text == "+inf" || text == "-inf")) {
            text = std::to_string(text[0] == '+' ? kInt32PlusInf : kInt32MinusInf);
        }
        if (type != kFieldSFString && type != kFieldSFURL) {
            for (char& c : text) {
                if (c == ' ') c = ',';
            }
        }
        EXPECT_EQ(v->FromString(text), 0) << text;
        return v;
    };
    std::string out;
    if (like.IsSingle()) {
        sfText(like.GetFieldType(), cell)->ToString(out);
        return out;
    }
    auto& list = dynamic_cast<MultiField&>(like);
    std::string body = cell.substr(1, cell.size() - 2);
    std::vector<std::string> elements;
    if (list.GetFieldType() == kFieldSFString || list.GetFieldType() == kFieldSFURL) {
        for (std::size_t q = body.find('"'); q != std::string::npos;
             q = body.find('"', body.find('"', q + 1) + 1)) {
            elements.push_back(body.substr(q + 1, body.find('"', q + 1) - q - 1));
        }
    } else {
        std::stringstream ss(body);
        std::string e;
        while (std::getline(ss, e, ',')) {
            while (!e.empty() && e.front() == ' ') e.erase(0, 1);
            if (!e.empty()) elements.push_back(e);
        }
        // A list of scalars may also be written with blanks only.
        if (elements.size() == 1 && list.GetFieldType() != kFieldSFVec2f &&
            list.GetFieldType() != kFieldSFVec3f && list.GetFieldType() != kFieldSFColor &&
            list.GetFieldType() != kFieldSFRotation) {
            std::stringstream words(elements[0]);
            elements.clear();
            for (std::string w; words >> w;) elements.push_back(w);
        }
    }
    std::vector<std::string> texts;
    for (const std::string& e : elements) {
        std::string t;
        sfText(list.GetFieldType(), e)->ToString(t);
        texts.push_back(t);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? ";" : "") + texts[i];
    return out;
}

const std::map<std::string, FieldKind> kKinds = {{"eventIn", FieldKind::EventIn},
                                                 {"eventOut", FieldKind::EventOut},
                                                 {"field", FieldKind::Field},
                                                 {"exposedField", FieldKind::ExposedField}};

TEST(NodeCatalogue, EveryClassMatchesTheTable) {
    InitNDTTables();
    const auto classes = Classes();
    ASSERT_EQ(classes.size(), 97u);
    std::set<std::pair<std::string, std::string>> storedEventIns;
    for (const TableRow& r : ReadTable(CatalogueFile("stored-eventins.tsv"))) {
        storedEventIns.insert({r.at("node"), r.at("field")});
    }
    for (const auto& [id, cls] : classes) {
        SCOPED_TRACE(cls.name);
        NodePtr node = NewNode(id);
        ASSERT_NE(node.Get(), nullptr);
        auto* impl = dynamic_cast<NodeImpl*>(node.Get());
        ASSERT_NE(impl, nullptr);
        EXPECT_EQ(GetNodeType(*node), id);
        EXPECT_EQ(node->GetRef(), 1);
        EXPECT_STREQ(impl->Desc().name, cls.name.c_str());

        std::string name;
        const int n = static_cast<int>(cls.fields.size());
        EXPECT_EQ(node->GetFieldName(n, name), 1)
            << cls.name << " has more than " << n << " fields";
        std::map<std::string, std::vector<std::pair<int, int>>> numbering;
        for (const TableRow& r : cls.fields) {
            const int all = std::stoi(r.at("all"));
            const std::string& fname = r.at("field");
            const std::string where = cls.name + "." + fname;
            ASSERT_EQ(node->GetFieldName(all, name), 0) << where;
            EXPECT_EQ(name, fname) << where;
            const FieldDesc* info = impl->FieldInfo(all);
            EXPECT_EQ(info->kind, kKinds.at(r.at("kind"))) << where;
            for (const char* key : {"def", "in", "out", "dyn"}) {
                if (!r.at(key).empty()) numbering[key].push_back({std::stoi(r.at(key)), all});
            }

            // Node-valued fields name their NDT table; every other field none.
            const std::string& type = r.at("type");
            const bool nodeValued = type == "SFNode" || type == "MFNode";
            const NDTTable* ndt = node->GetFieldNDT(all);
            if (nodeValued) {
                EXPECT_EQ(ndt, GetNDTTable(NDTByName(r.at("ndt")))) << where;
                EXPECT_NE(ndt, nullptr) << where;
            } else {
                EXPECT_EQ(ndt, nullptr) << where;
            }

            // Stored fields: eventIns have no value, except the few listed.
            const bool stored =
                r.at("kind") != "eventIn" || storedEventIns.count({cls.name, fname}) != 0;
            Field* field = node->GetField(all);
            if (!stored || type == "SFNode") {
                EXPECT_EQ(field, nullptr) << where;
                continue;
            }
            ASSERT_NE(field, nullptr) << where;
            EXPECT_EQ(field->GetFieldType(), TypeCode(type, fname)) << where;
            EXPECT_EQ(field->IsSingle(), type.starts_with("SF") ? 1 : 0) << where;
            std::string cell = r.at("default");
            if (auto it = storedEventIns.find({cls.name, fname}); it != storedEventIns.end())
                continue;
            if (type == "MFNode") {
                EXPECT_EQ(dynamic_cast<MultiNode*>(field)->GetCount(), 0) << where;
            } else if (!cell.empty()) {
                EXPECT_EQ(TextOf(field), ExpectedText(*field, cell))
                    << where << " default " << cell;
            } else {
                std::unique_ptr<SFField> fresh =
                    field->IsSingle() ? CreateSFField(field->GetFieldType()) : nullptr;
                if (fresh != nullptr) {
                    EXPECT_EQ(TextOf(field), TextOf(fresh.get())) << where;
                }
            }
        }

        // Numberings: counts, mappings in both directions, names through them.
        const int defCount = static_cast<int>(numbering["def"].size());
        EXPECT_EQ(node->GetDEFCount(), defCount);
        EXPECT_EQ(node->GetDEFBits(), defCount == 0
                                          ? 0
                                          : std::max(1, static_cast<int>(std::bit_width(
                                                            static_cast<unsigned>(defCount - 1)))));
        struct Numbering {
            const char* key;
            int (SingleNode::*toAll)(int) const;
            int (SingleNode::*nameOf)(int, std::string&) const;
            const NDTTable* (SingleNode::*ndtOf)(int) const;
        };
        for (const Numbering& num :
             {Numbering{"def", &SingleNode::DEFToAll, &SingleNode::GetDEFFieldName,
                        &SingleNode::GetDEFFieldNDT},
              Numbering{"in", &SingleNode::INToAll, &SingleNode::GetINFieldName,
                        &SingleNode::GetINFieldNDT},
              Numbering{"out", &SingleNode::OUTToAll, &SingleNode::GetOUTFieldName,
                        &SingleNode::GetOUTFieldNDT},
              Numbering{"dyn", &SingleNode::DYNToAll, &SingleNode::GetDYNFieldName,
                        &SingleNode::GetDYNFieldNDT}}) {
            auto& pairs = numbering[num.key];
            std::sort(pairs.begin(), pairs.end());
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                ASSERT_EQ(pairs[k].first, static_cast<int>(k))
                    << cls.name << " " << num.key << " numbering has a gap";
                EXPECT_EQ((node.Get()->*num.toAll)(static_cast<int>(k)), pairs[k].second)
                    << cls.name << " " << num.key << " " << k;
                std::string viaMap, viaAll;
                EXPECT_EQ((node.Get()->*num.nameOf)(static_cast<int>(k), viaMap), 0);
                node->GetFieldName(pairs[k].second, viaAll);
                EXPECT_EQ(viaMap, viaAll) << cls.name << " " << num.key << " " << k;
                EXPECT_EQ((node.Get()->*num.ndtOf)(static_cast<int>(k)),
                          node->GetFieldNDT(pairs[k].second))
                    << cls.name << " " << num.key << " " << k;
            }
            const int count = static_cast<int>(pairs.size());
            EXPECT_EQ((node.Get()->*num.nameOf)(count, name), 1)
                << cls.name << " " << num.key << " count";
            EXPECT_EQ((node.Get()->*num.toAll)(count), 0)
                << cls.name << " " << num.key << " past the end";
        }
        EXPECT_EQ(node->GetDEFField(defCount), nullptr);
        EXPECT_EQ(node->SetDEFField(defCount, nullptr), 1);

        // The node-valued DEF fields that tree walks follow.
        std::vector<int> nodeFields;
        for (auto [d, all] : numbering["def"]) {
            const std::string& type = cls.fields.at(static_cast<std::size_t>(all)).at("type");
            if (type == "SFNode" || type == "MFNode") nodeFields.push_back(d);
        }
        auto listed = node->GetDEFNodeFields();
        EXPECT_EQ(std::vector<int>(listed.begin(), listed.end()), nodeFields);
    }
}

TEST(NodeCatalogue, LocalCodesAndMembershipMatchTheCodeTable) {
    InitNDTTables();
    std::map<int, std::set<std::uint8_t>> ndtsOf;
    std::map<std::uint8_t, int> members;
    std::map<std::string, int> ids;
    for (const auto& [id, cls] : Classes()) ids[cls.name] = id;
    for (const TableRow& r : ReadTable(CatalogueFile("ndt-codes.tsv"))) {
        const int type = ids.at(r.at("node"));
        const std::uint8_t ndt = NDTByName(r.at("ndt"));
        const auto code = static_cast<std::uint8_t>(std::stoi(r.at("code")));
        SCOPED_TRACE(r.at("node") + " in " + r.at("ndt"));
        ASSERT_NE(ndt, 0);
        EXPECT_EQ(GetLocalCodeInNDT(ndt, type), code);
        EXPECT_EQ(GetNodeTypeFromLocal(ndt, code), type);
        EXPECT_LT(code, 1u << GetNDTBits(ndt));
        ndtsOf[type].insert(ndt);
        ++members[ndt];
    }
    for (std::uint8_t ndt = 1; ndt <= NDT_Count; ++ndt) {
        EXPECT_EQ(GetNDTTable(ndt)->size(), static_cast<std::size_t>(members[ndt]))
            << NDTNames()[ndt];
    }
    // The class's own bases are exactly its NDTs, and it writes its code
    // for those and nothing for any other NDT.
    for (const auto& [type, ndts] : ndtsOf) {
        NodePtr node = NewNode(type);
        for (std::uint8_t ndt = 1; ndt <= NDT_Count; ++ndt) {
            const bool member = ndts.count(ndt) != 0;
            EXPECT_EQ(CastToNDT(node.Get(), ndt) != nullptr, member)
                << type << " in " << NDTNames()[ndt];
            auto bytes = EncodeBytes([&](OutStream& out) {
                out.WriteBits(1, 1);
                node->EncodeNodeType(out, ndt);
            });
            std::size_t expectBits = 1 + (member ? GetNDTBits(ndt) : 0);
            EXPECT_EQ(bytes.size(), (expectBits + 7) / 8) << type << " in " << NDTNames()[ndt];
        }
    }
    EXPECT_EQ(GetNDTTable(NDT_SFWorldNode)->size(), 97u);
    EXPECT_EQ(GetNDTBits(0), 0);
    EXPECT_EQ(GetNDTBits(32), 0);
    EXPECT_EQ(GetNDTTable(32), nullptr);
    // Every (NDT, code) pair names one class.
    EXPECT_EQ(GetNodeTypeFromLocal(NDT_SF2DNode, 18), 74);  // PositionInterpolator2D
    EXPECT_EQ(GetNodeTypeFromLocal(NDT_SF2DNode, 19), 75);  // ProximitySensor2D
    EXPECT_EQ(GetNodeTypeFromLocal(NDT_SF3DNode, 14), 36);  // Face
    EXPECT_EQ(GetNodeTypeFromLocal(NDT_SF3DNode, 22), 55);  // Layer3D
    EXPECT_EQ(GetNodeTypeFromLocal(NDT_SF3DNode, 8), 0);    // a standard node without a class
}

TEST(NodeCatalogue, NodeFieldsHoldAndReleaseTheirReferences) {
    // Every node-valued field of every class takes one reference to the node
    // stored in it, and the holder's destruction gives it back.
    InitNDTTables();
    for (const auto& [id, cls] : Classes()) {
        for (const TableRow& r : cls.fields) {
            if (r.at("type") != "SFNode" && r.at("type") != "MFNode") continue;
            const std::string where = cls.name + "." + r.at("field");
            NodePtr child = NewNode(FirstTypeIn(NDTByName(r.at("ndt"))));
            ASSERT_NE(child.Get(), nullptr) << where;
            {
                NodePtr holder = NewNode(id);
                const int all = std::stoi(r.at("all"));
                const bool settable =
                    r.at("field") != "removeChildren" &&
                    !(r.at("field") == "children" && cls.fields[0].at("field") == "addChildren");
                EXPECT_EQ(holder->SetField(all, child.Get()), settable ? 0 : 1) << where;
                EXPECT_EQ(child->GetRef(), settable ? 2 : 1) << where;
            }
            EXPECT_EQ(child->GetRef(), 1) << where << " after the holder is destroyed";
        }
    }
}

TEST(NodeCatalogue, NameTableAndFactory) {
    std::string name;
    EXPECT_EQ(GetNodeTypeName(0, name), 0);
    EXPECT_EQ(name, "reserved");
    EXPECT_EQ(GetNodeTypeName(101, name), 1);
    EXPECT_EQ(name, "");
    EXPECT_EQ(GetNodeTypeName(-1, name), 1);
    // The name table, which spells some names unlike their classes.
    const std::map<int, std::string> rows = {
        {50, "IndexLineSet"}, {51, "IndexLineSet2D"}, {78, "Rectangle"}, {22, "Conditional"},
        {67, "PixelTexture"}, {80, "Script"},         {1, "Anchor"},     {94, "Transform"}};
    for (const auto& [id, text] : rows) {
        GetNodeTypeName(id, name);
        EXPECT_EQ(name, text);
        EXPECT_EQ(GetNodeTypeFromName(text), id);
    }
    EXPECT_EQ(GetNodeTypeFromName("IndexedLineSet"), 50);
    EXPECT_EQ(GetNodeTypeFromName("IndexedLineSet2D"), 51);
    EXPECT_EQ(GetNodeTypeFromName("_Rectangle"), 0);
    EXPECT_EQ(GetNodeTypeFromName("Nonsense"), 0);

    for (int id : {0, 22, 67, 80, 101, -3, 1000}) EXPECT_EQ(NewNode(id).Get(), nullptr) << id;
    int made = 0;
    for (int id = 1; id <= 100; ++id) {
        if (NodePtr node = NewNode(id)) {
            ++made;
            EXPECT_EQ(GetNodeType(*node), id);
        }
    }
    EXPECT_EQ(made, 97);
    NodePtr rect = NewNode(78);
    EXPECT_NE(dynamic_cast<_Rectangle*>(rect.Get()), nullptr);
}

}  // namespace
