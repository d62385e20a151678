// Where the loader's input comes from: the declarations lookup from any working
// directory.
#include <gtest/gtest.h>
#include <unistd.h>

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
