// orvane-bifs conversions: scenes survive .wrl -> .bifs -> .wrl -> .bifs with
// identical bytes and text, sharing and ROUTEs are kept through node IDs,
// what BIFS cannot carry is refused or named, hostile streams fail with a
// reason and a bit, and the listing reads streams exactly as the decoder does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>

#include "loader/vrml_loader.h"
#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/node_ptr.h"
#include "node/outstream.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/bifs_convert.h"
#include "tools/orvane-bifs/bifs_dump.h"
#include "trace/debug_trace.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(const std::function<void(OutStream&)>& write) {
    OutToMemory out;
    write(out);
    return out.Finish();
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t n) {
    return {bytes.begin(), bytes.begin() + static_cast<long>(n)};
}

class BifsConvertTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitNDTTables();
        SetDebugTraceSink([](const char*, std::size_t) {});
    }
    static std::string Temp(const std::string& name) {
        return (fs::temp_directory_path() /
                ("orvane_bifs_" + std::to_string(::getpid()) + "_" + name))
            .string();
    }
    static std::vector<std::uint8_t> Encode(const std::string& wrl) {
        std::vector<std::uint8_t> bifs;
        std::string error;
        EXPECT_TRUE(EncodeWrlFile(wrl, ORVANE_STANDARD_NODES_PATH, bifs, &error))
            << wrl << ": " << error;
        return bifs;
    }
    static std::vector<std::uint8_t> EncodeText(const std::string& text, bool routes = true,
                                                std::vector<std::string>* warnings = nullptr) {
        std::vector<std::uint8_t> bifs;
        std::string error;
        EXPECT_TRUE(EncodeWrlText("#VRML V2.0 utf8\n" + text, ORVANE_STANDARD_NODES_PATH, bifs,
                                  &error, warnings, EncodeOptions{routes}))
            << error;
        return bifs;
    }
    // Decodes a command stream into `tree`; the decoder's error text ("" on success).
    static std::string DecodeInto(const std::vector<std::uint8_t>& bytes, SceneTree& tree) {
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        CCommandDecoder decoder;
        HRESULT result = decoder.DecodeStream(&in, &tree);
        EXPECT_EQ(result == node::kOk, decoder.GetError().empty()) << decoder.GetError();
        return decoder.GetError();
    }
    static std::string Decode(const std::vector<std::uint8_t>& bifs) {
        std::string wrl, error;
        EXPECT_TRUE(DecodeToWrl(bifs, wrl, &error)) << error;
        return wrl;
    }
    // The decoder and the listing give the same verdict and reason.
    static std::string AgreedVerdict(const std::vector<std::uint8_t>& bytes) {
        SceneTree tree;
        std::string decoded = DecodeInto(bytes, tree), listed;
        std::ostringstream listing;
        EXPECT_EQ(DumpBifs(bytes, listing, &listed), decoded.empty());
        EXPECT_EQ(listed, decoded);
        EXPECT_TRUE(listing.str().ends_with("\n"));
        return decoded;
    }
    // Whether the loader reads the VRML97 spellings the decoder writes
    // (IndexedLineSet, Text's string, ...); texts that use them can close
    // their round trip only when it does.
    static bool Readable(const std::string& text) {
        static const bool spellings = [] {
            std::string error, wrl;
            std::vector<std::uint8_t> bifs;
            return EncodeWrlText(
                       "#VRML V2.0 utf8\nShape { geometry IndexedLineSet { } }"
                       " Shape { geometry Text { string \"a\" } }",
                       ORVANE_STANDARD_NODES_PATH, bifs, &error) &&
                   DecodeToWrl(bifs, wrl, &error) && wrl.find("IndexedLineSet") != wrl.npos &&
                   wrl.find("string [ \"a\" ]") != wrl.npos;
        }();
        if (spellings) return true;
        for (const char* word : {"IndexedLineSet", "string [", "minFront", "normalPerVertex",
                                 "AudioSwitch", "CompositeTexture3D"})
            if (text.find(word) != std::string::npos) return false;
        return true;
    }
    // A tree whose top node is a Layer3D holding `groups` nested Groups.
    static void LayerOfGroups(SceneTree& tree, int groups) {
        auto top = node::Ptr<SingleNode>::Adopt(CreateNode(55));
        SingleNode* inner = top.Get();
        for (int i = 0; i < groups; ++i) {
            auto next = node::Ptr<SingleNode>::Adopt(CreateNode(46));
            inner->SetField(0, next.Get());  // addChildren
            inner = next.Get();
        }
        tree.SetRoot(top.Get());
    }
    // decode -> encode (with ROUTEs) -> decode gives the same text; returns
    // the bits of the second encoding ({} when the text is not readable yet).
    static std::vector<std::uint8_t> ExpectTextRoundTrip(const std::vector<std::uint8_t>& bifs) {
        const std::string first = Decode(bifs);
        if (!Readable(first)) return {};
        std::vector<std::uint8_t> again;
        std::string error;
        EXPECT_TRUE(EncodeWrlText(first, ORVANE_STANDARD_NODES_PATH, again, &error, nullptr,
                                  EncodeOptions{true}))
            << error << "\n"
            << first;
        EXPECT_EQ(Decode(again), first);
        return again;
    }
};

TEST_F(BifsConvertTest, EveryCleanCorpusSceneRoundTripsToTheSameBytesAndText) {
    int scenes = 0;
    for (const auto& entry : fs::directory_iterator(ORVANE_TEST_DATA)) {
        if (entry.path().extension() != ".wrl") continue;
        // Only scenes the loader reads without errors can be encoded.
        VrmlLoader probe;
        probe.SetErrorStream(nullptr);
        probe.SetTraceStream(nullptr);
        probe.SetStandardNodesPath(ORVANE_STANDARD_NODES_PATH);
        probe.ResetParser();
        if (probe.ParseVrmlFile(entry.path().c_str()) != VrmlLoader::kLoadOk ||
            probe.GetErrorCount() != 0)
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        auto first = Encode(entry.path().string());
        std::string wrl = Decode(first);
        if (!Readable(wrl)) continue;
        std::string path = Temp("again.wrl");
        std::ofstream(path) << wrl;
        auto second = Encode(path);
        fs::remove(path);
        EXPECT_EQ(first, second) << wrl;
        ExpectTextRoundTrip(first);
        ++scenes;
    }
    EXPECT_GE(scenes, 13);
}

TEST_F(BifsConvertTest, SharedNodesGetIdsAndComeBackShared) {
    auto bifs = EncodeText(
        "DEF M Material { diffuseColor 1 0 0 }"
        "Shape { appearance Appearance { material USE M } geometry DEF B Box { size 1 2 3 } }"
        "Shape { appearance Appearance { material USE M } geometry USE B }");
    SceneTree tree;
    ASSERT_EQ(DecodeInto(bifs, tree), "");
    EXPECT_EQ(tree.NodeCount(), 2u);  // the material and the box
    // Node IDs follow the order in which the encoder first meets the nodes.
    ASSERT_NE(tree.Lookup(1), nullptr);
    EXPECT_EQ(GetNodeType(*tree.Lookup(1)), 59);  // Material (top level, first)
    EXPECT_EQ(GetNodeType(*tree.Lookup(2)), 15);  // Box
    std::string wrl = Decode(bifs);
    EXPECT_NE(wrl.find("DEF N2 Box"), std::string::npos) << wrl;
    EXPECT_NE(wrl.find("USE N2"), std::string::npos) << wrl;
}

// Everything encode leaves out is named, one line per kind with a count, and
// the loader's own warnings come along.
TEST_F(BifsConvertTest, WhatEncodeLeavesOutIsNamedWithACount) {
    struct Case {
        const char* scene;
        bool routes;
        std::vector<std::string> warnings;
    } cases[] = {
        {"NavigationInfo { headlight FALSE } Shape { geometry Sphere {} } NavigationInfo {}",
         false,
         {"NavigationInfo left out (2 nodes): the children of a Group take only SF3DNode nodes"}},
        {"DEF S Script { url \"x.js\" } Script { } PixelTexture { }"
         " PROTO P [ ] { Group { } } P { } DEF T TimeSensor { }"
         " ROUTE T.cycleTime TO T.set_startTime ROUTE T.isActive TO T.set_enabled",
         false,
         {"Script left out (2 nodes): Orvane has no node class for this type",
          "PixelTexture left out (1 node): Orvane has no node class for this type",
          "ROUTE left out (2 routes): ROUTEs are written only with --routes"}},
        {"DEF N NavigationInfo { } DEF T TimeSensor { } ROUTE T.isActive TO N.set_bind"
         " Shape { geometry DEF B Box { } } ROUTE T.cycleTime TO B.size",
         true,
         {"NavigationInfo left out (1 node): the children of a Group take only SF3DNode nodes",
          "ROUTE left out (1 route): a node it joins is not in the encoded scene",
          "ROUTE left out (1 route): Box.size is not an eventIn"}},
        {"PROTO Box [ ] { } Shape { }", false, {"PROTO Box already defined"}},
        // Comments and strings hold no nodes; what stands in a node left out goes with it.
        {"# Script { }\nWorldInfo { title \"Script { }\" }"
         " DEF S Script { field SFNode x Transform { children [ Script { } ] } } Script{}",
         false,
         {"Script left out (2 nodes): Orvane has no node class for this type"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        std::vector<std::string> warnings;
        EncodeText(c.scene, c.routes, &warnings);
        EXPECT_EQ(warnings, c.warnings);
    }
}

// decode -> encode -> decode closes for ROUTEs, numbers that are not finite,
// exact times and strings, and encode -> decode -> encode gives the same bits.
TEST_F(BifsConvertTest, RoundTripsWithRoutesAndNonFiniteValues) {
    struct Case {
        const char* scene;
        std::vector<std::string> text;  // lines the decoded text holds
    } cases[] = {
        {"DEF T TimeSensor { cycleInterval 1234567890.125 loop TRUE }"
         " DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 1 2 3 ] }"
         " DEF X Transform { children Shape { geometry Box { } } }"
         " ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.set_translation"
         " ROUTE P.value_changed TO X.translation",
         {"DEF N1 TimeSensor {", "  cycleInterval 1234567890.125",
          "ROUTE N1.fraction_changed TO N2.set_fraction",
          "ROUTE N2.value_changed TO N3.translation"}},
        {"Transform { translation inf -inf nan scale -nan 1e-45 -0 }"
         " ScalarInterpolator { key [ 0, inf, -inf, nan ] keyValue -inf }",
         {"  translation inf -inf nan", "  scale -nan 1e-45 -0", "  key [ 0, inf, -inf, nan ]",
          "  keyValue [ -inf ]"}},
        {"WorldInfo { title \"tab\there \\\"q\\\" \\\\ \nline\" info [ \"\" \"x\" ] }",
         {"  title \"tab\there \\\"q\\\" \\\\ \nline\""}},
        {"Layer2D { children [ Transform2D { } ] }", {"Layer2D {"}},
        {"DEF A Transform { } Group { children [ USE A USE A ] }"
         " DEF C Coordinate { point [ 1 2 3 ] }",  // C is not an SF3DNode: left out
         {"DEF N1 Transform { }", "    USE N1"}},
        {"Switch { whichChoice 0 choice [ Shape { } ] }", {"  whichChoice 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        auto bifs = EncodeText(c.scene);
        std::string text = Decode(bifs);
        for (const std::string& line : c.text)
            EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << "\n" << text;
        EXPECT_EQ(ExpectTextRoundTrip(bifs), bifs) << text;
    }
    // Without --routes the bits are those of the scene without its ROUTEs.
    auto plain = EncodeText(cases[0].scene, false);
    std::string text = Decode(plain);
    EXPECT_EQ(text.find("ROUTE"), std::string::npos);
    EXPECT_EQ(EncodeText(text, true), plain);
}

// An Inline is written as itself with its url, never with its file's nodes;
// instances of a PROTO an EXTERNPROTO finds in another file are written
// expanded; a missing EXTERNPROTO file stops the encoding with its message.
TEST_F(BifsConvertTest, InlinesStayInlinesAndExternProtosAreExpanded) {
    const std::string part = Temp("part.wrl"), lib = Temp("lib.wrl"), scene = Temp("scene.wrl");
    std::ofstream(part) << "#VRML V2.0 utf8\nShape { geometry Sphere { radius 7 } }\n";
    std::ofstream(lib) << "#VRML V2.0 utf8\nPROTO Post [ field SFFloat h 2 ] {\n"
                          "  Shape { geometry Cylinder { height IS h } } }\n";
    std::ofstream(scene) << "#VRML V2.0 utf8\nEXTERNPROTO Post [ field SFFloat h ] \""
                         << fs::path(lib).filename().string() << "#Post\"\n"
                         << "Inline { url \"" << fs::path(part).filename().string() << "\" }\n"
                         << "Post { h 3 }\n";
    const std::string text = Decode(Encode(scene));
    EXPECT_NE(text.find("Inline {\n  url [ \"" + fs::path(part).filename().string() + "\" ]"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Sphere"), std::string::npos) << text;
    EXPECT_NE(text.find("height 3"), std::string::npos) << text;
    fs::remove(lib);
    std::vector<std::uint8_t> bifs;
    std::string error;
    EXPECT_FALSE(EncodeWrlFile(scene, ORVANE_STANDARD_NODES_PATH, bifs, &error));
    EXPECT_NE(error.find("EXTERNPROTO Post: no PROTO found at"), std::string::npos) << error;
    fs::remove(part);
    fs::remove(scene);
}

// Streams encode never writes (vector forms, mask form, route IDs, any node
// IDs, NaNs with payloads) still give text that closes its round trip.
TEST_F(BifsConvertTest, TextOfForeignStreamsClosesItsRoundTrip) {
    auto bifs = Bytes([](OutStream& o) {
        o.WriteBits(3, 2);
        o.WriteBits(0, 8);
        o.WriteBits(0b0, 1);  // top node: not a reference
        o.WriteBits(3, 2);    // Layer3D
        o.WriteBits(1, 1);    // with ID 77
        o.WriteBits(77, 32);
        o.WriteBits(1, 1);     // mask form: a bit per field, then its value when set
        o.WriteBits(1, 1);     // children
        o.WriteBits(0b00, 2);  // vector form
        o.WriteBits(2, 5);
        o.WriteBits(2, 2);  // two nodes
        for (std::uint32_t id : {900u, 0u}) {
            o.WriteBits(0, 1);
            o.WriteBits(41, 6);  // TimeSensor
            o.WriteBits(id != 0, 1);
            if (id != 0) o.WriteBits(id, 32);
            o.WriteBits(0b0, 1);                     // list form
            o.WriteBits(0b0000, 4);                  // cycleInterval
            o.WriteBits(0x7FF0000000000001ull, 64);  // a signalling NaN
            o.WriteBits(1, 1);
        }
        o.WriteBits(0, 5);  // the other five fields of Layer3D: not given
        o.WriteBits(1, 1);  // hasROUTEs
        o.WriteBits(0, 1);  // vector form
        o.WriteBits(1, 5);
        o.WriteBits(1, 1);  // one route, with a route ID
        o.WriteBits(1, 1);
        o.WriteBits(5, 32);
        o.WriteBits(900, 32);
        o.WriteBits(5, 4);  // cycleTime (eventOut 5 of 9)
        o.WriteBits(900, 32);
        o.WriteBits(3, 3);  // startTime (eventIn 3 of 5)
    });
    ASSERT_EQ(AgreedVerdict(bifs), "");
    std::string text = Decode(bifs);
    EXPECT_NE(text.find("DEF N1 TimeSensor {\n      cycleInterval nan\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("ROUTE N1.cycleTime TO N1.startTime"), std::string::npos) << text;
    ExpectTextRoundTrip(bifs);
}

TEST_F(BifsConvertTest, EncodeRefusesWhatTheCodingCannotCarry) {
    auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) text += "Group { children [ ";
        for (int i = 0; i < levels; ++i) text += "] } ";
        return text;
    };
    struct Case {
        std::string scene;
        std::string error;
    } cases[] = {
        {"WorldInfo { title \"" + std::string(65536, 'x') + "\" }",
         "WorldInfo.title: a string of 65536 bytes, longer than the 65535 a BIFS string holds"},
        {"Anchor { url [ \"a\" \"" + std::string(70000, 'u') + "\" ] }",
         "Anchor.url: element 1: a string of 70000 bytes, longer than the 65535 a BIFS string "
         "holds"},
        // The file's Group is level 1: 999 Groups in it reach level 1000.
        {nested(1000), "Group.children: nesting deeper than 1000 levels"},
    };
    std::string out = Temp("refused.bifs");
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bifs;
        std::string error;
        EXPECT_FALSE(
            EncodeWrlText("#VRML V2.0 utf8\n" + c.scene, ORVANE_STANDARD_NODES_PATH, bifs, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(bifs.empty());
    }
    // As deep as decoding goes: level 1000 encodes and decodes, as text too.
    auto deepest = EncodeText(nested(999));
    EXPECT_EQ(AgreedVerdict(deepest), "");
    EXPECT_EQ(ExpectTextRoundTrip(deepest), deepest);
    // A Layer3D top node stands at level 2, where its text puts it.
    SceneTree tree;
    LayerOfGroups(tree, 999);
    std::vector<std::uint8_t> bytes;
    CCommadEncoder encoder;
    EXPECT_EQ(encoder.EncodeToMemory(&tree, bytes), node::kFailCode);
    EXPECT_EQ(encoder.GetError(), "Group.children: nesting deeper than 1000 levels");
    EXPECT_EQ(encoder.EncodeToFile(out.c_str(), &tree), node::kFailCode);
    EXPECT_FALSE(fs::exists(out));
    LayerOfGroups(tree, 998);
    ASSERT_EQ(encoder.EncodeToMemory(&tree, bytes), node::kOk);
    EXPECT_EQ(AgreedVerdict(bytes), "");
    ExpectTextRoundTrip(bytes);
}

TEST_F(BifsConvertTest, DecodeRefusalsSayWhatAndWhere) {
    // SceneReplace, header, top node Group, list form, children: one
    // TimeSensor with ID 1 (bit 20), end; then what `tail` writes (bit 64).
    auto scene = [](const std::function<void(OutStream&)>& tail) {
        return Bytes([&tail](OutStream& o) {
            o.WriteBits(0b11, 2);
            o.WriteBits(0, 8);
            o.WriteBits(0b0010, 4);  // not a reference, Group, no ID
            o.WriteBits(0b000, 3);   // list form, children
            o.WriteBits(0b010, 3);   // list form, a node
            o.WriteBits(0, 1);
            o.WriteBits(41, 6);  // TimeSensor
            o.WriteBits(1, 1);
            o.WriteBits(1, 32);
            o.WriteBits(0b01, 2);  // list form, end of fields
            o.WriteBits(0b11, 2);  // end of list, end of fields
            tail(o);
        });
    };
    auto route = [](std::uint32_t from, std::uint32_t out, std::uint32_t to, std::uint32_t in) {
        return [=](OutStream& o) {
            o.WriteBits(0b110, 3);  // hasROUTEs, list form, no route ID
            o.WriteBits(from, 32);  // bit 67
            o.WriteBits(out, 4);    // 9 eventOuts
            o.WriteBits(to, 32);
            o.WriteBits(in, 3);  // bit 135; 5 eventIns
            o.WriteBits(0, 1);
        };
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::string error;
    } cases[] = {
        {"the top node as a reference", Bytes([](OutStream& o) {
             o.WriteBits(0b11, 2);
             o.WriteBits(0, 8);
             o.WriteBits(1, 1);
             o.WriteBits(3, 32);
         }),
         "node ID 3 not defined at bit 11"},
        {"an insertion command",
         {0x00, 0, 0, 0},
         "unsupported command: insertion (code 0); only SceneReplace (3) is read"},
        {"a ROUTE from an unknown node", scene(route(2, 0, 1, 0)),
         "node ID 2 not defined at bit 67"},
        {"a ROUTE to an eventIn out of range", scene(route(1, 1, 1, 6)),
         "eventIn index 6 out of range for TimeSensor (5 eventIns) at bit 135"},
        {"a ROUTE cut short", Prefix(scene(route(1, 1, 1, 3)), 12),
         "truncated at bit 67 (the data ends at bit 96)"},
        {"a route list too long for its data", scene([](OutStream& o) {
             o.WriteBits(0b10, 2);  // hasROUTEs, vector form
             o.WriteBits(20, 5);
             o.WriteBits(100000, 20);
         }),
         "a list of 100000 elements runs past the end of the data at bit 65"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AgreedVerdict(c.bytes), c.error);
    }
    EXPECT_EQ(AgreedVerdict(scene(route(1, 5, 1, 3))), "");
    EXPECT_NE(Decode(scene(route(1, 5, 1, 3))).find("ROUTE N1.cycleTime TO N1.startTime"),
              std::string::npos);
}

TEST_F(BifsConvertTest, EveryPrefixAndRandomFlipsFailCleanlyAndAgreeWithTheListing) {
    auto bifs = EncodeText(
        "DEF T Transform { children [ Shape { appearance Appearance { material Material {} }"
        " geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }"
        " coordIndex [ 0 1 2 -1 ] } } ] } WorldInfo { info [ \"x\" \"y\" ] } USE T"
        " DEF C TimeSensor { } ROUTE C.fraction_changed TO C.set_startTime");
    // The command is followed by 128 zero bits that the decoder never reads: cut
    // inside the data proper.
    std::size_t body = bifs.size() - 16;
    for (std::size_t n = 1; n < body; ++n) {
        SceneTree tree;
        EXPECT_NE(AgreedVerdict(Prefix(bifs, n)), "") << "prefix of " << n << " bytes";
        EXPECT_NE(DecodeInto(Prefix(bifs, n), tree), "");
        EXPECT_EQ(tree.NodeCount(), 0u);
        SingleNode* root = nullptr;
        tree.GetRoot(&root);
        EXPECT_EQ(root, nullptr) << "a half-built tree is reachable after " << n << " bytes";
    }
    std::mt19937 rng(11);
    int decoded = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> flipped = bifs;
        for (int k = 0; k < 3; ++k)
            flipped[rng() % body] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        if (AgreedVerdict(flipped).empty()) {
            ++decoded;
            ExpectTextRoundTrip(flipped);
        }
    }
    EXPECT_LT(decoded, 2000);  // most flips are caught, none crash
}

// The fuzz seeds include streams that once crashed the decoder (for example a
// node ID reused after a later field replaced the node that carried it).
TEST_F(BifsConvertTest, EveryFuzzSeedGetsTheSameVerdictFromDecodeAndDump) {
    int seeds = 0, accepted = 0;
    for (const auto& entry : fs::directory_iterator(ORVANE_FUZZ_BIFS_SEEDS)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        if (AgreedVerdict(bytes).empty()) {
            ExpectTextRoundTrip(bytes);
            ++accepted;
        }
        ++seeds;
    }
    EXPECT_GE(seeds, 20);
    EXPECT_GE(accepted, 15);
}

TEST_F(BifsConvertTest, CommandFraming) {
    // An empty Group root: 11, 8 zero bits, the root (0 01 0 0, DEF 0, 0 1 1, end 1),
    // no routes, 128 zero bits.
    SceneTree tree;
    tree.SetRoot(node::Ptr<SingleNode>::Adopt(CreateNode(46)).Get());  // the tree keeps it
    std::vector<std::uint8_t> bytes;
    CCommadEncoder encoder;
    ASSERT_EQ(encoder.EncodeToMemory(&tree, bytes), node::kOk);
    ASSERT_EQ(bytes.size(), (2 + 8 + 11 + 1 + 128 + 7) / 8);
    EXPECT_EQ(bytes[0], 0xC0);  // command 11, header 000000
    EXPECT_EQ(bytes[1], 0x08);  // header 00, isReused 0, code 01, isUpdateable 0, list 0, more 0
    EXPECT_EQ(bytes[2], 0x38);  // DEF index 0, children 0 1 1, end 1, no routes 0, padding
    // Encoding twice gives the same bytes.
    std::vector<std::uint8_t> again;
    ASSERT_EQ(encoder.EncodeToMemory(&tree, again), node::kOk);
    EXPECT_EQ(bytes, again);

    SceneTree empty;
    std::string path = Temp("empty.bifs");
    EXPECT_EQ(encoder.EncodeToFile(path.c_str(), &empty), node::kFailCode);
    EXPECT_EQ(encoder.GetError(), "the scene is empty");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(encoder.EncodeToFile(nullptr, &tree), node::kFailCode);
    EXPECT_EQ(encoder.EncodeToFile("/nonexistent-folder/x.bifs", &tree), node::kFailCode);
    EXPECT_EQ(encoder.GetError(), "cannot write /nonexistent-folder/x.bifs");
}

TEST_F(BifsConvertTest, DumpNamesEveryFieldAndEscapesStrings) {
    auto bifs = EncodeText(
        "Transform { translation 1 2 3 } TimeSensor { cycleInterval 0.1234567890123 }"
        " WorldInfo { title \"a\tb\\\"\x01\" }");
    std::ostringstream listing;
    ASSERT_TRUE(DumpBifs(bifs, listing));
    std::string text = listing.str();
    for (const char* part :
         {"command code = SceneReplace", "local code = Transform", "DEF index = translation",
          "z = 3\n", "description form = list", "= 0.1234567890123\n",
          "5 bytes = \"a\\tb\\\"\\x01\"\n", "hasROUTEs = no\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

TEST_F(BifsConvertTest, InputsAreReadWithinBounds) {
    std::string error;
    std::vector<std::uint8_t> bytes;
    // A pipe is read to its end, and no further than the bound.
    for (std::size_t size : {1000u, 1001u}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t child = fork();
        if (child == 0) {
            std::vector<char> data(size, 'p');
            (void)!write(fds[1], data.data(), data.size());
            _exit(0);
        }
        close(fds[1]);
        const bool ok = ReadInput("/dev/fd/" + std::to_string(fds[0]), bytes, &error, 1000);
        close(fds[0]);
        waitpid(child, nullptr, 0);
        EXPECT_EQ(ok, size == 1000) << error;
        EXPECT_EQ(bytes.size(), ok ? size : 0u);
    }
    EXPECT_EQ(error, "/dev/fd/" + error.substr(8, error.find(' ') - 8) +
                         " holds more than 1000 bytes, more than orvane-bifs reads");
    struct Case {
        std::string path;
        std::string error;
    } refused[] = {
        {ORVANE_TEST_DATA, "cannot read " ORVANE_TEST_DATA ": it is a folder, not a file"},
        {"/dev/zero", "cannot read /dev/zero: it is a device, not a file"},
        {Temp("missing"), "cannot read " + Temp("missing") + ": No such file or directory"},
        {ORVANE_STANDARD_NODES_PATH,
         ORVANE_STANDARD_NODES_PATH " holds more than 10 bytes, more than orvane-bifs reads"},
    };
    for (const Case& c : refused) {
        EXPECT_FALSE(ReadInput(c.path, bytes, &error, 10));
        EXPECT_EQ(error, c.error);
    }
}

// The tool as a user runs it: exit status and the line on standard error.
TEST_F(BifsConvertTest, CommandLine) {
    const std::string wrl = Temp("cli.wrl"), bifs = Temp("cli.bifs"), out = Temp("cli.out");
    std::ofstream(wrl)
        << "#VRML V2.0 utf8\nDEF T TimeSensor { } ROUTE T.isActive TO T.set_enabled\n"
           "PROTO Box [ ] { } Transform { }\n";
    const std::string tool =
        std::string(ORVANE_BIFS_TOOL) + " --standard-nodes " + ORVANE_STANDARD_NODES_PATH + " ";
    auto run = [&](const std::string& args, std::string* err = nullptr) {
        const std::string errPath = Temp("cli.err");
        int status = std::system((tool + args + " 2>" + errPath).c_str());
        std::ifstream in(errPath);
        if (err) *err = std::string(std::istreambuf_iterator<char>(in), {});
        fs::remove(errPath);
        return WEXITSTATUS(status);
    };
    struct Case {
        std::string args;
        int status;
        std::string error;  // a line standard error holds
    } cases[] = {
        {"encode " + wrl + " " + bifs, 0, wrl + ": PROTO Box already defined"},
        {"encode " + wrl + " " + bifs, 0,
         wrl + ": ROUTE left out (1 route): ROUTEs are written only with --routes"},
        {"encode --bogus " + wrl + " " + bifs, 2, "unknown option --bogus (see --help)"},
        {"decode --routes " + bifs, 2, "--routes belongs to encode"},
        {"encode " + wrl + " " + wrl, 1, "the output " + wrl + " is the input"},
        {"decode " + bifs + " " + bifs, 1, "the output " + bifs + " is the input"},
        {"decode " ORVANE_TEST_DATA, 1, "it is a folder, not a file"},
        {"dump /dev/zero", 1, "cannot read /dev/zero: it is a device, not a file"},
        {"decode " + wrl, 1, wrl + ": unsupported command: insertion (code 0)"},
        {"decode - < /dev/null", 1, "standard input: the file is empty"},
        {"encode " + wrl + " - --routes 2>/dev/null | " + tool + "decode - " + out, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string err;
        EXPECT_EQ(run(c.args, &err), c.status) << err;
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
    std::ifstream decoded(out);
    std::string text{std::istreambuf_iterator<char>(decoded), {}};
    EXPECT_NE(text.find("ROUTE N1.isActive TO N1.enabled"), std::string::npos) << text;
    // A refused encoding writes nothing.
    std::ofstream(wrl) << "#VRML V2.0 utf8\nWorldInfo { title \"" << std::string(70000, 'x')
                       << "\" }\n";
    fs::remove(out);
    std::string err;
    EXPECT_EQ(run("encode " + wrl + " " + out, &err), 1);
    EXPECT_NE(err.find("WorldInfo.title: a string of 70000 bytes"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(out));
    for (const std::string& p : {wrl, bifs, out}) fs::remove(p);
}

}  // namespace
