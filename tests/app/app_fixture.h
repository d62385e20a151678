// Test helpers for the viewer: one Qt application for the whole test program (the
// offscreen platform unless QT_QPA_PLATFORM says otherwise, a decimal-comma locale
// when the system has one), scene files in a temporary folder, a recorder of
// message boxes, and a loader that reads the generated declarations.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "loader/vrml_loader.h"
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
