// Test helpers: a window of fixed size for the display device, and scenes
// loaded from VRML text through the real loader.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_ddraw.h"
#include "trace/message_sink.h"

class FakeWindow : public IRenderWindow {
  public:
    FakeWindow(int w, int h) : m_w(w), m_h(h) {}
    void GetClientSize(int& w, int& h) const override {
        w = m_w;
        h = m_h;
    }
    void FrameReady() override { ++frames; }
    void Resize(int w, int h) {
        m_w = w;
        m_h = h;
    }
    int frames = 0;

  private:
    int m_w, m_h;
};

// Loads `text` (after the generated standardNodes.wrl) into a loader that
// the caller keeps alive as long as it uses the scene.
inline std::unique_ptr<VrmlLoader> LoadText(const std::string& text) {
    static bool once = (InitNDTTables(), true);
    (void)once;
    auto loader = std::make_unique<VrmlLoader>();
    loader->SetErrorStream(nullptr);
    loader->SetTraceStream(nullptr);
    loader->SetStandardNodesPath(ORVANE_STANDARD_NODES_PATH);
    loader->ResetParser();
    EXPECT_EQ(loader->LoadStandardNodes(), VrmlLoader::kLoadOk);
    loader->ParseSceneText("#VRML V2.0 utf8\n" + text);
    EXPECT_EQ(loader->GetErrorCount(), 0) << text;
    return loader;
}

// Records every message shown while it lives.
class MessageRecorder {
  public:
    MessageRecorder() {
        m_old = SetMessageSink(
            [this](const std::string& t, const std::string&) { texts.push_back(t); });
    }
    ~MessageRecorder() { SetMessageSink(m_old); }
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& t : texts) n += t == text;
        return n;
    }
    std::vector<std::string> texts;

  private:
    MessageSink m_old;
};

#include "rendermodule/render_module.h"

// A render module on a window of the given size, fed scenes the way the
// shell feeds them (clear the world, reset, hand the scene over).
template <int W, int H>
class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override { m_module.Init(&m_window); }
    void TearDown() override { m_module.Release(); }

    void Show(const std::string& text) {
        m_loader = LoadText(text);
        m_module.ClearWorld();
        m_module.ResetScene();
        m_module.SetScene(m_loader->GetSceneRoot(), &m_loader->GetRouteList());
    }

    FakeWindow m_window{W, H};
    CRenderModule m_module;
    std::unique_ptr<VrmlLoader> m_loader;
    MessageRecorder m_messages;
};
