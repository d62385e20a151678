// The render module's view of the Script engine. The engine (script/, on Qt's
// QJSEngine) is built as a module of its own, orvane-script.so, which the
// render module loads only for a scene with a Script node: scenes without one
// never map Qt's QML libraries. This header is the whole boundary: the module
// exports one C function that makes an engine, and the render module calls the
// engine through this interface only.
//
// The module takes the node and message-sink code from the program that loads
// it (programs export their symbols), so a script's message reaches the same
// sink as every other message and its nodes are the program's nodes.
#pragma once

#include <string>

#include "rendermodule/event_sink.h"

class SingleNode;

// Every call happens under the render module's scene lock.
class IScriptEngine : public IEventReceiver {
  public:
    // Loads a Script node's program; false when it has none that runs (the
    // engine has said why, through the message sink). `name` is its DEF name,
    // `baseDir` the folder its url files are read from.
    virtual bool AddNode(SingleNode* node, const std::string& name, const std::string& baseDir) = 0;
    // Calls each program's initialize() at scene start / shutdown() at scene end.
    virtual void Initialize(double time, IEventSink& out) = 0;
    virtual void Shutdown(double time, IEventSink& out) = 0;
    // What Browser.getCurrentFrameRate() answers.
    virtual void SetFrameRate(double framesPerSecond) = 0;
};

// The module's one entry point, named kScriptEngineFactory: a new engine the
// caller owns, or null when `version` is not the module's own
// kScriptEngineVersion (a module of another build, whose interface may differ).
inline constexpr int kScriptEngineVersion = 1;
inline constexpr const char* kScriptEngineFactory = "orvane_create_script_engine";
extern "C" {
typedef IScriptEngine* ScriptEngineFactory(int version);
}
