// Every scene of tests/data loads with the node, route and error counts that
// tests/data/corpus.txt lists for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "loader_test_util.h"

namespace {

struct Expectation {
    std::string file;
    int nodes = 0;  // distinct nodes under the root, the root not counted
    int routes = 0;
    int errors = 0;  // lines on the error stream
};

// Test names show the scene's file name.
void PrintTo(const Expectation& e, std::ostream* os) {
    *os << e.file;
}

std::vector<Expectation> ReadManifest() {
    std::vector<Expectation> list;
    std::ifstream in(ORVANE_SOURCE_DIR "/tests/data/corpus.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Expectation e;
        if (fields >> e.file >> e.nodes >> e.routes >> e.errors) list.push_back(e);
    }
    return list;
}

void Collect(SingleNode* node, std::set<SingleNode*>& seen) {
    if (!seen.insert(node).second) return;
    std::string name;
    for (int i = 0; node->GetFieldName(i, name) == 0; ++i) {
        Field* field = node->GetField(i);
        if (auto* child = dynamic_cast<SingleNode*>(field)) Collect(child, seen);
        if (auto* list = dynamic_cast<MultiNode*>(field))
            for (SingleNode* entry : list->Nodes()) Collect(entry, seen);
    }
}

class Corpus : public ::testing::TestWithParam<Expectation>, public LoaderFixtureBase {};

TEST_P(Corpus, LoadsWithExpectedCounts) {
    const Expectation& e = GetParam();
    int status = loader.ParseVrmlFile((ORVANE_SOURCE_DIR "/tests/data/" + e.file).c_str());
    ASSERT_EQ(status, VrmlLoader::kLoadOk);
    std::set<SingleNode*> nodes;
    Collect(loader.GetSceneRoot(), nodes);
    EXPECT_EQ(static_cast<int>(nodes.size()) - 1, e.nodes);
    EXPECT_EQ(static_cast<int>(loader.GetRouteList().size()), e.routes);
    std::string text = errors.str();
    int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(lines, e.errors) << text;
}

std::string Name(const ::testing::TestParamInfo<Expectation>& info) {
    std::string name = info.param.file.substr(0, info.param.file.find('.'));
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, Corpus, ::testing::ValuesIn(ReadManifest()), Name);

TEST(StartupScene, LoadsWithoutErrorsAndItsPicturesExist) {
    LoaderFixtureBase f;
    ASSERT_EQ(f.loader.ParseVrmlFile(ORVANE_SOURCE_DIR "/data/t3.wrl"), VrmlLoader::kLoadOk);
    EXPECT_EQ(f.errors.str(), "");
    EXPECT_EQ(f.loader.GetRouteList().size(), 6u);
    std::set<SingleNode*> nodes;
    Collect(f.loader.GetSceneRoot(), nodes);
    std::set<std::string> pictures;
    for (SingleNode* node : nodes) {
        if (auto* urls = dynamic_cast<MFField<SFURL>*>(f.FieldOf(node, "url")))
            for (const SFURL& url : urls->Values()) pictures.insert(url.Get());
        if (auto* urls = dynamic_cast<MFField<SFString>*>(f.FieldOf(node, "backUrl")))
            for (const SFString& url : urls->Values()) pictures.insert(url.Get());
    }
    EXPECT_EQ(pictures, (std::set<std::string>{"textures/checker.jpg", "textures/dots.bmp",
                                               "textures/sky.jpg", "textures/stripes.tga"}));
    for (const std::string& picture : pictures)
        EXPECT_TRUE(std::filesystem::exists(ORVANE_SOURCE_DIR "/data/" + picture)) << picture;
}

}  // namespace
