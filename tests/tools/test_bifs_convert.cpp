// orvane-bifs conversions: scenes survive .wrl -> .bifs -> .wrl -> .bifs with
// identical bytes, sharing is kept through node IDs, hostile streams fail
// cleanly, and the command framing is as written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "loader/vrml_loader.h"
#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/node_ptr.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/bifs_convert.h"
#include "tools/orvane-bifs/bifs_dump.h"
#include "trace/debug_trace.h"

namespace fs = std::filesystem;

namespace {

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
    static std::vector<std::uint8_t> EncodeText(const std::string& text) {
        std::string path = Temp("scene.wrl");
        std::ofstream(path) << "#VRML V2.0 utf8\n" << text;
        auto bifs = Encode(path);
        fs::remove(path);
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
};

TEST_F(BifsConvertTest, EveryCleanCorpusSceneRoundTripsToTheSameBytes) {
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
        auto first = Encode(entry.path().string());
        std::string wrl = Decode(first);
        std::string path = Temp("again.wrl");
        std::ofstream(path) << wrl;
        auto second = Encode(path);
        fs::remove(path);
        EXPECT_EQ(first, second) << entry.path() << "\n" << wrl;
        ++scenes;
    }
    EXPECT_GE(scenes, 15);
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

TEST_F(BifsConvertTest, NodesOutsideTheirContextAreLeftOutWithAWarning) {
    std::string path = Temp("nav.wrl");
    std::ofstream(path)
        << "#VRML V2.0 utf8\nNavigationInfo { headlight FALSE } Shape { geometry Sphere {} }";
    std::vector<std::uint8_t> bifs;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(EncodeWrlFile(path, ORVANE_STANDARD_NODES_PATH, bifs, &error, &warnings)) << error;
    fs::remove(path);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "NavigationInfo left out: the children of a Group take only SF3DNode nodes");
    std::string wrl = Decode(bifs);
    EXPECT_EQ(wrl.find("NavigationInfo"), std::string::npos);
    EXPECT_NE(wrl.find("Sphere"), std::string::npos);
}

TEST_F(BifsConvertTest, WriterKeepsExactNumbersAndLeavesDefaultsOut) {
    auto bifs = EncodeText(
        "Transform { translation 0.1 1e-7 3 scale 1 1 1 }"
        " WorldInfo { title \"a \\\"quoted\\\" \\\\ title\" }");
    std::string wrl = Decode(bifs);
    EXPECT_NE(wrl.find("translation 0.1 1e-07 3"), std::string::npos) << wrl;
    EXPECT_EQ(wrl.find("scale"), std::string::npos) << wrl;
    EXPECT_NE(wrl.find("title \"a \\\"quoted\\\" \\\\ title\""), std::string::npos) << wrl;
}

TEST_F(BifsConvertTest, EveryPrefixAndRandomFlipsFailCleanly) {
    auto bifs = EncodeText(
        "DEF T Transform { children [ Shape { appearance Appearance { material Material {} }"
        " geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }"
        " coordIndex [ 0 1 2 -1 ] } } ] } WorldInfo { info [ \"x\" \"y\" ] } USE T");
    // The command is followed by 129 zero bits that the decoder never reads: cut
    // inside the data proper.
    std::size_t body = bifs.size() - 16;
    for (std::size_t n = 1; n < body; ++n) {
        SceneTree tree;
        EXPECT_NE(DecodeInto({bifs.begin(), bifs.begin() + static_cast<long>(n)}, tree), "")
            << "prefix of " << n << " bytes";
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
        SceneTree tree;
        decoded += DecodeInto(flipped, tree).empty();
        std::ostringstream listing;
        DumpBifs(flipped, listing);  // must not crash either
    }
    EXPECT_LT(decoded, 2000);  // most flips are caught, none crash
}

// The fuzz seeds include streams that once crashed the decoder (for example a
// node ID reused after a later field replaced the node that carried it).
TEST_F(BifsConvertTest, EveryFuzzSeedDecodesOrFailsCleanly) {
    int seeds = 0;
    for (const auto& entry : fs::directory_iterator(ORVANE_FUZZ_BIFS_SEEDS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        if (bytes.empty()) continue;
        SceneTree tree;
        DecodeInto(bytes, tree);  // an error text exactly when it fails
        ++seeds;
    }
    EXPECT_GE(seeds, 10);
}

TEST_F(BifsConvertTest, CommandFramingAndUnsupportedCommands) {
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
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(encoder.EncodeToFile(nullptr, &tree), node::kFailCode);

    for (std::uint8_t code = 0; code < 3; ++code) {
        SceneTree target;
        EXPECT_NE(DecodeInto({static_cast<std::uint8_t>(code << 6), 0, 0, 0}, target)
                      .find("unsupported command"),
                  std::string::npos);
    }
}

TEST_F(BifsConvertTest, DumpNamesEveryField) {
    auto bifs = EncodeText("Transform { translation 1 2 3 }");
    std::ostringstream listing;
    ASSERT_TRUE(DumpBifs(bifs, listing));
    std::string text = listing.str();
    EXPECT_NE(text.find("command code = SceneReplace"), std::string::npos) << text;
    EXPECT_NE(text.find("local code = Transform"), std::string::npos) << text;
    EXPECT_NE(text.find("DEF index = translation"), std::string::npos) << text;
    EXPECT_NE(text.find("= 3"), std::string::npos) << text;
}

}  // namespace
