// Where the loader's input comes from: scene files plain or gzip-compressed, with
// progress, cancel and every way a read can fail; the declarations lookup from
// any working directory.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "loader/scene_source.h"
#include "loader_test_util.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder that is the working directory while the object lives.
class WorkingFolder {
  public:
    WorkingFolder() : m_old(fs::current_path()) {
        char name[] = "/tmp/orvane-cwd-XXXXXX";
        m_dir = mkdtemp(name);
        fs::current_path(m_dir);
    }
    ~WorkingFolder() {
        fs::current_path(m_old);
        fs::remove_all(m_dir);
    }
    const fs::path& Dir() const { return m_dir; }

  private:
    fs::path m_old, m_dir;
};

std::string Gzip(const std::string& text) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(SceneSource, PlainAndGzipByContentAndEveryFailure) {
    std::string scene = "#VRML V2.0 utf8\n";
    for (int i = 0; i < 6000; ++i)
        scene += "DEF T" + std::to_string(i) + " Transform { translation " + std::to_string(i) +
                 " 0 0 }\n";
    const std::size_t half = scene.find('\n', scene.size() / 2) + 1;
    const std::string packed = Gzip(scene);
    std::string damaged = packed;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 16; ++i) damaged[i] ^= 0x5a;

    enum Kind { kFile, kFolder, kAbsent };
    struct Case {
        std::string name;
        Kind kind;
        std::string bytes;
        bool cancel;
        bool open, compressed;
        int status;
        std::string error;  // what Error() starts with
        bool whole;         // the last node was read
    } cases[] = {
        {"plain.wrl", kFile, scene, false, true, false, VrmlLoader::kLoadOk, "", true},
        {"packed.wrz", kFile, packed, false, true, true, VrmlLoader::kLoadOk, "", true},
        // The content decides, not the name.
        {"packed.wrl", kFile, packed, false, true, true, VrmlLoader::kLoadOk, "", true},
        {"plain.wrl.gz", kFile, scene, false, true, false, VrmlLoader::kLoadOk, "", true},
        {"two-members.wrz", kFile, Gzip(scene.substr(0, half)) + Gzip(scene.substr(half)), false,
         true, true, VrmlLoader::kLoadOk, "", true},
        {"trailing-zeros.wrz", kFile, packed + std::string(100, '\0'), false, true, true,
         VrmlLoader::kLoadOk, "", true},
        {"empty.wrl", kFile, "", false, true, false, VrmlLoader::kLoadOk, "", false},
        {"cut.wrz", kFile, packed.substr(0, packed.size() / 2), false, true, true,
         VrmlLoader::kNoSceneFile, "the gzip stream is cut short", false},
        {"magic-only.wrz", kFile, "\x1f\x8b", false, true, true, VrmlLoader::kNoSceneFile,
         "the gzip stream is cut short", false},
        {"damaged.wrz", kFile, damaged, false, true, true, VrmlLoader::kNoSceneFile,
         "the gzip data is damaged (", false},
        {"cancelled.wrl", kFile, scene, true, true, false, VrmlLoader::kNoSceneFile,
         "reading was cancelled", false},
        {"folder.wrl", kFolder, "", false, false, false, VrmlLoader::kNoSceneFile, "it is a folder",
         false},
        {"absent.wrl", kAbsent, "", false, false, false, VrmlLoader::kNoSceneFile,
         "No such file or directory", false},
    };
    WorkingFolder folder;
    for (const Case& c : cases) {
        if (c.kind == kFile) std::ofstream(c.name, std::ios::binary) << c.bytes;
        if (c.kind == kFolder) fs::create_directory(c.name);
        LoaderFixtureBase fixture;
        fixture.loader.LoadStandardNodes();
        fixture.loader.ResetParser();
        SceneReadControl control;
        control.cancel = c.cancel;
        SceneSource source(c.name, &control);
        EXPECT_EQ(source.IsOpen(), c.open) << c.name;
        EXPECT_EQ(source.IsCompressed(), c.compressed) << c.name;
        if (c.error.empty()) {
            EXPECT_EQ(source.Head(), std::string_view(scene).substr(0, c.bytes.empty() ? 0 : 64))
                << c.name;
        }
        EXPECT_EQ(fixture.loader.ParseSceneSource(source), c.status) << c.name;
        EXPECT_EQ(source.Error().substr(0, c.error.size()), c.error) << c.name;
        EXPECT_EQ(source.Error().empty(), c.error.empty()) << c.name;
        EXPECT_EQ(source.Cancelled(), c.cancel) << c.name;
        EXPECT_EQ(fixture.loader.FindDef("T5999") != nullptr, c.whole) << c.name;
        if (c.status == VrmlLoader::kLoadOk) {
            EXPECT_EQ(fixture.errors.str(), "") << c.name;
            EXPECT_EQ(control.bytesRead.load(), c.bytes.size()) << c.name;
            EXPECT_EQ(control.fileSize.load(), c.bytes.size()) << c.name;
        } else {
            const std::string said =
                c.open ? "Error, could not read file: " + c.error : "Error, could not open file\n";
            EXPECT_NE(fixture.errors.str().find(said), std::string::npos)
                << c.name << ": " << fixture.errors.str();
        }
    }
    // Whole files for a decoder, within a size limit.
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(SceneSource("packed.wrz").ReadAll(bytes, scene.size()));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), scene);
    SceneSource large("plain.wrl");
    EXPECT_FALSE(large.ReadAll(bytes, 65536));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(large.Error(), "it is larger than 65536 bytes");
    EXPECT_FALSE(SceneSource("cut.wrz").ReadAll(bytes, scene.size()));
}

TEST(StandardNodesLookup, WorkingDirectoryThenBuiltInAndGivenPathsAsGiven) {
    const std::string own = "#VRML V2.0 utf8\nPROTO OnlyHere [ field SFFloat f 0 ] { }\n";
    enum Setup { kNothing, kOwnFile, kFolder };
    struct Case {
        Setup setup;
        std::string path;
        int status;
        std::string where, knownType;
    } cases[] = {
        {kOwnFile, "standardNodes.wrl", VrmlLoader::kLoadOk, "standardNodes.wrl", "OnlyHere"},
        {kNothing, "standardNodes.wrl", VrmlLoader::kLoadOk, "built-in declarations", "Transform"},
        {kFolder, "standardNodes.wrl", VrmlLoader::kLoadOk, "built-in declarations", "Transform"},
        {kNothing, "absent.wrl", VrmlLoader::kNoStandardNodes, "", ""},
        {kFolder, "./standardNodes.wrl", VrmlLoader::kNoStandardNodes, "", ""},
        {kOwnFile, "./standardNodes.wrl", VrmlLoader::kLoadOk, "./standardNodes.wrl", "OnlyHere"},
    };
    for (const Case& c : cases) {
        const std::string at = c.path + " with setup " + std::to_string(c.setup);
        WorkingFolder folder;
        if (c.setup == kOwnFile) std::ofstream("standardNodes.wrl") << own;
        if (c.setup == kFolder) fs::create_directory("standardNodes.wrl");
        StandardNodesSource source(c.path);
        EXPECT_EQ(source.IsOpen(), c.status == VrmlLoader::kLoadOk) << at;
        if (source.IsOpen()) {
            EXPECT_EQ(source.Where(), c.where) << at;
        }

        LoaderFixtureBase fixture;
        std::ostringstream errors;
        fixture.loader.SetErrorStream(&errors);
        fixture.loader.SetStandardNodesPath(c.path);
        EXPECT_EQ(fixture.loader.LoadStandardNodes(), c.status) << at;
        if (c.status != VrmlLoader::kLoadOk) {
            EXPECT_EQ(errors.str(), "Error, couldn't open standardNodes.wrl file\n") << at;
            continue;
        }
        EXPECT_EQ(errors.str(), "") << at;
        EXPECT_NE(fixture.loader.Registry().Find(c.knownType), nullptr) << at;
        // The file in the working directory is read instead of, not besides, the built-in one.
        EXPECT_EQ(fixture.loader.Registry().Find("Transform") != nullptr, c.setup != kOwnFile)
            << at;
    }
}

TEST(StandardNodesLookup, TheBuiltInCopyIsTheGeneratedFile) {
    std::ifstream in(ORVANE_STANDARD_NODES, std::ios::binary);
    const std::string generated{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(generated.size(), 1000u);
    EXPECT_TRUE(BuiltInStandardNodes() == generated);
}

}  // namespace
