// Script nodes: each Script's program runs in an ECMAScript engine of its own
// (Qt's QJSEngine), with the VRML97 ECMAScript binding: an eventIn calls the
// function of its name with (value, timestamp); fields and eventOuts are global
// variables, and assigning an eventOut sends it at the current timestamp;
// initialize, eventsProcessed and shutdown are called when they are defined;
// the SF/MF object types and Browser.getName/getVersion/getCurrentTime/
// getCurrentFrameRate/print are there.
//
// The host is the cascade's receiver for every Script it holds (event_sink.h).
// Each call into a script has a time budget; a script that throws, runs past
// its budget or assigns an eventOut a value of another type is reported once,
// by name, through the message sink, and takes no calls after that.
//
// Use, under the scene lock: Add each Script at scene set-up, make the host
// the receiver of those nodes' eventIns, call Initialize at the first step,
// pass the cascade's events to Receive and EventsProcessed, and Shutdown at
// scene end (before the nodes go). What scripts send goes to the given sink.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "node/node_impl.h"  // FieldKind
#include "rendermodule/script_engine.h"

class Field;
class SingleNode;

namespace script {

// One declaration of a Script's interface.
struct Declaration {
    std::string name;
    FieldKind kind = FieldKind::Field;
    std::string type;              // "SFFloat", "MFVec3f", ...
    int field = -1;                // its ALL index on the node
    const Field* value = nullptr;  // a field's value at load; null: the type's default
};

// What the host needs of a Script node.
struct ScriptDescription {
    SingleNode* node = nullptr;
    std::string name = "Script";   // its DEF name, if it has one: messages name it
    std::vector<std::string> url;  // "javascript:..."/"vrmlscript:..." or files, in order
    std::string baseDir;           // files are read relative to it (the scene file's folder)
    std::vector<Declaration> declarations;
};

struct HostOptions {
    std::chrono::milliseconds budget{200};  // per call into a script
    std::string version = "0.1";            // Browser.getVersion()
};

// The description of a Script node the loader made (a DeclaredNode): its url, and
// its own declarations with their values (read while the node lives); the
// fields every Script has (url, directOutput, mustEvaluate) are not the
// program's. `name` is its DEF name ("" when it has none), `baseDir` the scene
// file's folder. False when `node` is not a Script.
bool DescribeScript(SingleNode* node, const std::string& name, const std::string& baseDir,
                    ScriptDescription& described);

class ScriptHost final : public IScriptEngine {
  public:
    explicit ScriptHost(HostOptions options = {});
    ~ScriptHost() override;
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Loads a Script's program (the first url that reads) and runs its top
    // level. False when it has no url (quietly) or, after one message, when no
    // url reads, the program does not compile or its top level fails; the node
    // then stays without effect. A node added before (used again) keeps its
    // one program.
    bool Add(const ScriptDescription& described);
    // Add for a Script node the loader made (DescribeScript); false also when
    // `node` is not a Script.
    bool AddNode(SingleNode* node, const std::string& name, const std::string& baseDir) override;
    // Whether `node` is a Script of this host that still takes calls.
    bool IsRunning(const SingleNode* node) const;

    // Calls each running script's initialize() (at scene start) or shutdown()
    // (at scene end), and sends what it assigned.
    void Initialize(double time, IEventSink& out) override;
    void Shutdown(double time, IEventSink& out) override;
    // What Browser.getCurrentFrameRate() answers.
    void SetFrameRate(double framesPerSecond) override;

    // An event for an eventIn (or exposedField) of one of the host's Scripts.
    void Receive(SingleNode* node, int field, const Field& value, double time,
                 IEventSink& out) override;
    // Calls eventsProcessed() of each script that received events since the last call.
    void EventsProcessed(double time, IEventSink& out) override;

  private:
    struct Program;
    void Fail(Program& program, const std::string& what);
    void Call(Program& program, const std::string& function, const Field* value, int valueDecl,
              double time, IEventSink& out);
    void SetExposed(Program& program, int decl, const Field& value, double time, IEventSink& out);

    HostOptions m_options;
    double m_frameRate = 0;
    std::vector<std::unique_ptr<Program>> m_programs;
    std::vector<Program*> m_pending;  // received events since the last EventsProcessed
    struct Thread;
    std::unique_ptr<Thread> m_thread;
};

}  // namespace script
