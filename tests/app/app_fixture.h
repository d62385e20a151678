// Test helpers for the viewer: one Qt application for the whole test program (the
// offscreen platform unless QT_QPA_PLATFORM says otherwise, a decimal-comma locale
// when the system has one), scene files in a temporary folder, a recorder of
// message boxes, a loader that reads the generated declarations, and a render
// module with all of these for each test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/load_scene.h"
#include "app/panel_settings.h"
#include "loader/vrml_loader.h"
#include "rendermodule/render_module.h"
#include "trace/message_sink.h"

// True when the test program runs under a locale whose decimal point is a comma.
bool UnderDecimalCommaLocale();
// The application object (made by the test environment).
QApplication& TestApp();

// A loader with the generated "standardNodes.wrl", quiet.
inline std::unique_ptr<VrmlLoader> MakeLoader() {
    auto loader = std::make_unique<VrmlLoader>();
    loader->SetErrorStream(nullptr);
    loader->SetTraceStream(nullptr);
    loader->SetStandardNodesPath(ORVANE_STANDARD_NODES_PATH);
    return loader;
}

// Scene files written into a folder that goes with the object.
class SceneFiles {
  public:
    std::string Write(const std::string& name, const std::string& body) {
        std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path) << "#VRML V2.0 utf8\n" << body << "\n";
        return path;
    }
    std::string Path(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

  private:
    QTemporaryDir m_dir;
};

// Records every message shown while it lives, with its caption.
class MessageRecorder {
  public:
    MessageRecorder() {
        m_old = SetMessageSink([this](const std::string& text, const std::string& caption) {
            texts.push_back(text);
            captions.push_back(caption);
        });
    }
    ~MessageRecorder() { SetMessageSink(m_old); }
    std::vector<std::string> texts, captions;

  private:
    MessageSink m_old;
};

inline const char kTwoViews[] =
    "Viewpoint { position 0 0 20 description \"Far\" }\n"
    "Viewpoint { position 1.5 0 4 orientation 0 1 0 1.5707963 description \"Side\" }\n"
    "Shape { geometry Box {} }";
inline const char kThreeViews[] =
    "Viewpoint { position 0 5 30 description \"Zenith\" }\n"
    "Viewpoint { position 0 0 8 description \"Alpha\" }\n"
    "Viewpoint { position 2 0 8 description \"Middle\" }\n"
    "Transform { children Shape { geometry Sphere {} } }";

// Two routes between fields of different types (loading drops each with a
// message) and an interpolator with fewer key values than keys: every animation
// step raises kNagText.
inline const char kNaggingScene[] =
    "DEF T TimeSensor { cycleInterval 1 loop TRUE }\n"
    "DEF S ScalarInterpolator { key [ 0 1 ] keyValue [ 0 ] }\n"
    "Shape { appearance Appearance { material DEF M Material {} } geometry Box {} }\n"
    "ROUTE T.fraction_changed TO S.set_fraction ROUTE S.value_changed TO M.transparency\n"
    "ROUTE S.value_changed TO M.diffuseColor ROUTE T.isActive TO M.shininess";
inline const char kNagText[] =
    "ScalarInterpolator: keyValue has fewer values than key; it sends nothing";

// A render module, a loader, scene files and a message recorder for one test.
class AppTest : public ::testing::Test {
  protected:
    void TearDown() override {
        m_module.Stop();
        m_module.Release();
    }
    rm::Frame* World() { return m_module.GetD3DObj().GetWorld(); }
    rm::Frame* Camera() { return m_module.GetD3DObj().GetCamera(); }
    // The load-scene sequence into m_shown; the reason when it failed ("" when not).
    std::string Load(const std::string& file) {
        return LoadScene(m_module, *m_loader, file, m_shown).error;
    }

    CRenderModule m_module;
    std::unique_ptr<VrmlLoader> m_loader = MakeLoader();
    std::unique_ptr<SceneDocument> m_shown;
    SceneFiles m_files;
    MessageRecorder m_messages;
};

// The same with the module's display device on a 200 x 100 window.
class ModuleTest : public AppTest {
  protected:
    struct Window : IRenderWindow {
        void GetClientSize(int& w, int& h) const override { w = 200, h = 100; }
    };
    void SetUp() override {
        AppTest::SetUp();
        m_module.Init(&m_window);
    }
    Window m_window;
};
