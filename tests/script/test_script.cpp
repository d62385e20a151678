#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "loader/vrml_loader.h"
#include "node/node_ptr.h"
#include "node/nodes.h"
#include "script/script_host.h"
#include "trace/message_sink.h"

namespace {

using script::Declaration;

// What a script sent: "field=text@time", in order.
struct Recorder : IEventSink {
    std::vector<std::string> events;
    void Emit(SingleNode*, int field, std::unique_ptr<Field> value, double time) override {
        std::string text;
        if (auto* single = dynamic_cast<SFField*>(value.get())) single->ToString(text);
        if (auto* list = dynamic_cast<MultiField*>(value.get())) list->ToString(text);
        for (std::size_t at = text.find(".0"); at != std::string::npos; at = text.find(".0", at)) {
            const bool whole = at + 2 == text.size() || text[at + 2] == ',' || text[at + 2] == ';';
            if (whole)
                text.erase(at, 2);  // "1.0" as "1"
            else
                at += 2;
        }
        char at[32];
        std::snprintf(at, sizeof at, "@%g", time);
        events.push_back(std::to_string(field) + "=" + text + at);
    }
};

class ScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_old = SetMessageSink(
            [this](const std::string& t, const std::string&) { messages.push_back(t); });
    }
    void TearDown() override { SetMessageSink(m_old); }

    // A Script "S" with `source` inline: eventIn SFFloat go (3), eventOut `outType`
    // out (4), field `inType` v (5) holding `value`.
    bool Load(const std::string& source, const std::string& outType = "SFFloat",
              const std::string& inType = "SFFloat", const Field* value = nullptr,
              std::vector<std::string> url = {}) {
        script::ScriptDescription described;
        described.node = node.Get();
        described.name = "S";
        described.url = url.empty() ? std::vector<std::string>{"javascript:" + source} : url;
        described.baseDir = ::testing::TempDir();
        described.declarations = {{"go", FieldKind::EventIn, "SFFloat", 3},
                                  {"out", FieldKind::EventOut, outType, 4},
                                  {"v", FieldKind::Field, inType, 5, value}};
        return host->Add(described);
    }
    void Send(float value, double time) {
        host->Receive(node.Get(), 3, SFFloat(value), time, sink);
        host->EventsProcessed(time, sink);
    }

    node::Ptr<SingleNode> node = node::Ptr<SingleNode>::Adopt(CreateNode(Group::kNodeType));
    void Reset() {
        host.reset();  // one host at a time, as a scene has
        host = std::make_unique<script::ScriptHost>(
            script::HostOptions{std::chrono::milliseconds(100)});
        sink.events.clear();
        messages.clear();
        ResetMessageScope();
    }

    std::unique_ptr<script::ScriptHost> host =
        std::make_unique<script::ScriptHost>(script::HostOptions{std::chrono::milliseconds(100)});
    Recorder sink;
    std::vector<std::string> messages;
    MessageSink m_old;
};

// A field's value seen by the script and the script's values sent as eventOuts.
TEST_F(ScriptTest, ValuesConvertBothWays) {
    MFField<SFVec3f> points{SFVec3f(1, 2, 3), SFVec3f(4, 5, 6)};
    MFField<SFString> names{SFString("a"), SFString("b c")};
    SFRotation turn(0, 1, 0, 1.5f);
    SFColor red(1, 0, 0);
    MFField<SFInt32> image{SFInt32(2), SFInt32(1), SFInt32(3), SFInt32(255), SFInt32(0)};
    struct Case {
        const char* outType;
        const char* inType;
        const Field* value;
        const char* expr;  // what go() sends
        const char* sent;
    } cases[] = {
        {"SFFloat", "SFFloat", nullptr, "v + 0.5", "0.5"},
        {"SFInt32", "SFInt32", nullptr, "7.9", "7"},
        {"SFBool", "SFBool", nullptr, "!v", "true"},
        {"SFTime", "SFTime", nullptr, "t", "2"},
        {"SFString", "MFString", &names, "v[1] + v.length", "b c2"},
        {"SFVec3f", "MFVec3f", &points, "v[0].cross(v[1])", "-3,6,-3"},
        {"SFVec3f", "MFVec3f", &points, "v[1].subtract(v[0]).multiply(2)", "6,6,6"},
        {"SFFloat", "MFVec3f", &points, "v[0].dot(v[1]) + v.length", "34"},
        {"SFVec2f", "SFFloat", nullptr, "new SFVec2f(3, 4).normalize()", "0.6,0.8"},
        {"SFVec3f", "SFRotation", &turn, "new SFVec3f(v.x, v.y, v.z)", "0,1,0"},
        {"SFFloat", "SFRotation", &turn, "v.angle", "1.5"},
        {"SFVec3f", "SFFloat", nullptr,
         "new SFRotation(0, 0, 1, Math.PI / 2).multVec(new SFVec3f(1, 0, 0)).add(new SFVec3f(0, 0, "
         "9))",
         "0,1,9"},
        {"SFFloat", "SFFloat", nullptr,
         "new SFRotation(new SFVec3f(1, 0, 0), new SFVec3f(0, 1, 0)).angle * 2 / Math.PI", "1"},
        {"SFColor", "SFColor", &red, "(c => { c.setHSV(120, 1, 0.5); return c; })(v)", "0,0.5,0"},
        {"SFFloat", "SFColor", &red, "v.getHSV()[1] + v.r", "2"},
        {"MFFloat", "SFFloat", nullptr, "new MFFloat(1, 2.5, t)", "1;2.5;2"},
        {"MFInt32", "SFFloat", nullptr, "[4, 5].map(x => x * 2)", "8;10"},
        {"MFString", "MFString", &names, "v.concat(['d'])", "a;b c;d"},
        {"MFColor", "SFFloat", nullptr, "new MFColor([1, 0, 0], new SFColor(0, 0, 1))",
         "1,0,0;0,0,1"},
        {"MFRotation", "SFRotation", &turn, "new MFRotation(v, v.inverse())",
         "0,1,0,1.5;0,1,0,-1.5"},
        {"MFVec2f", "SFFloat", nullptr,
         "(a => { a[2] = new SFVec2f(1, 1); return a; })(new MFVec2f())", "0,0;0,0;1,1"},
        {"SFString", "SFNode", node.Get(), "String(v) + (v === v)", "Grouptrue"},
        {"SFImage", "SFImage", &image, "(i => { i.array[1] = 0xff0000; return i; })(v)",
         "2;1;3;255;16711680"},
        {"SFString", "SFImage", &image, "v.x + 'x' + v.y + '/' + v.comp + ':' + v.array.length",
         "2x1/3:2"},
        {"SFString", "SFFloat", nullptr, "Browser.getName() + ' ' + Browser.getCurrentTime()",
         "Orvane 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        script::ScriptHost one{{std::chrono::milliseconds(500)}};
        Recorder got;
        script::ScriptDescription described;
        described.node = node.Get();
        described.url = {std::string("vrmlscript: function go(f, t) { out = ") + c.expr + "; }"};
        described.declarations = {{"go", FieldKind::EventIn, "SFFloat", 3},
                                  {"out", FieldKind::EventOut, c.outType, 4},
                                  {"v", FieldKind::Field, c.inType, 5, c.value}};
        ASSERT_TRUE(one.Add(described));
        one.Receive(node.Get(), 3, SFFloat(1), 2.0, got);
        ASSERT_EQ(got.events.size(), 1u) << (messages.empty() ? "" : messages.back());
        EXPECT_EQ(got.events[0], std::string("4=") + c.sent + "@2");
    }
    EXPECT_TRUE(messages.empty()) << messages[0];
}

// Calls in order: top level, initialize, eventIns with (value, time), eventsProcessed once
// per step that had events, shutdown; eventOuts carry the call's time.
TEST_F(ScriptTest, CallsComeInTheirOrder) {
    ASSERT_TRUE(Load(
        "var log = []; function say(s) { log.push(s + '@' + Browser.getCurrentTime()); out = log; }"
        "say('top'); function initialize() { say('init'); }"
        "function go(f, t) { say('go' + f + ':' + t); }"
        "function eventsProcessed() { say('ep'); } function shutdown() { say('end'); }",
        "MFString"));
    EXPECT_TRUE(Load("function initialize() { out = ['again']; }"));  // the same node: no change
    host->Initialize(1, sink);
    host->Receive(node.Get(), 3, SFFloat(5), 2, sink);
    host->Receive(node.Get(), 3, SFFloat(6), 2, sink);
    host->EventsProcessed(2, sink);
    host->EventsProcessed(3, sink);  // no events in this step: no call
    host->Shutdown(4, sink);
    ASSERT_EQ(sink.events.size(), 5u);
    EXPECT_EQ(sink.events.back(), "4=top@0;init@1;go5:2@2;go6:2@2;ep@2;end@4@4");
    EXPECT_EQ(sink.events[2], "4=top@0;init@1;go5:2@2;go6:2@2@2");
}

// Sending: whole assignment, a member or element changed, once per call with the
// last value; reading without a change sends nothing.
TEST_F(ScriptTest, EventOutsAreSentWhenAssignedOrChanged) {
    struct Case {
        const char* type;
        const char* body;
        std::vector<std::string> sent;  // after two events
    } cases[] = {
        {"SFFloat", "out = f; out = f * 2;", {"4=2@1", "4=4@2"}},
        {"SFVec3f", "out.y = f;", {"4=0,1,0@1", "4=0,2,0@2"}},
        {"SFVec3f", "out.y = 1;", {"4=0,1,0@1"}},
        {"MFFloat", "out[out.length] = f;", {"4=1@1", "4=1;2@2"}},
        {"SFFloat", "var x = out;", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        script::ScriptHost one;
        Recorder got;
        script::ScriptDescription described;
        described.node = node.Get();
        described.url = {std::string("javascript: function go(f, t) {") + c.body + "}"};
        described.declarations = {{"go", FieldKind::EventIn, "SFFloat", 3},
                                  {"out", FieldKind::EventOut, c.type, 4}};
        ASSERT_TRUE(one.Add(described));
        one.Receive(node.Get(), 3, SFFloat(1), 1, got);
        one.Receive(node.Get(), 3, SFFloat(2), 2, got);
        EXPECT_EQ(got.events, c.sent);
    }
}

// A failing script is named in one message, sends nothing more and takes no
// further calls; the host goes on.
TEST_F(ScriptTest, FailuresDisableTheScriptOnce) {
    struct Case {
        const char* source;
        const char* outType;
        bool loads;
        const char* message;
    } cases[] = {
        {"function go() { out = 'red'; }", "SFColor", true,
         "Script S: eventOut out (SFColor) was assigned a string in go(); the script is disabled."},
        {"function go() { out = new SFColor(1, 0, 0); }", "SFFloat", true,
         "Script S: eventOut out (SFFloat) was assigned an SFColor in go(); the script is "
         "disabled."},
        {"function go() { out = [1, 'x']; }", "MFFloat", true, "a list with a string at 1"},
        {"function go() { out = new SFVec3f(1, 2, 3); out.y = 'a'; }", "SFVec3f", true,
         "SFVec3f with a string as y"},
        {"function go() { out = new SFImage(2, 2, 1, [0]); }", "SFImage", true,
         "an SFImage whose array does not hold x * y pixels"},
        {"function go() { undefinedThing(); }", "SFFloat", true,
         "ReferenceError: undefinedThing is not defined"},
        {"function go() { throw 42; }", "SFFloat", true, "uncaught exception: 42 in go()"},
        {"function go() { throw 'x'.repeat(1e6); }", "SFFloat", true, "xxx...; the script is"},
        {"function go() { go(); }", "SFFloat", true, "RangeError"},
        {"function go() { while (true) {} }", "SFFloat", true,
         "Script S: go() ran past its 100 ms budget and was stopped; the script is disabled."},
        {"function go() { for (;;) { try { out = 1; } catch (e) {} } }", "SFFloat", true,
         "go() ran past its 100 ms budget"},
        {"for (;;) {}", "SFFloat", false, "its program ran past its 100 ms budget"},
        {"function go( {", "SFFloat", false, "SyntaxError"},
        {"throw new Error('at load');", "SFFloat", false, "Error: at load (line 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Reset();
        EXPECT_EQ(Load(c.source, c.outType), c.loads);
        Send(1, 1);
        Send(2, 2);
        EXPECT_FALSE(host->IsRunning(node.Get()));
        EXPECT_TRUE(sink.events.empty());
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(c.message), std::string::npos) << messages[0];
    }
}

// Url lists: the first entry that reads, files relative to the scene's folder.
TEST_F(ScriptTest, UrlsLoadTheFirstThatReads) {
    const std::string file = "orvane_script_test.js";
    std::ofstream(::testing::TempDir() + file) << "function go(f) { out = f + 1; }";
    struct Case {
        std::vector<std::string> url;
        const char* result;  // sent, or the message
    } cases[] = {
        {{"missing.js", "http://example.org/x.js", file}, "4=3@1"},
        {{"file:" + file, "javascript: function go(f) { out = 0; }"}, "4=3@1"},
        {{"VRMLScript: function go(f) { out = -f; }"}, "4=-2@1"},
        {{"javascript: function other() {}"},
         "Script S: no function go for its eventIn; the events are dropped."},
        {{"javascript: function go(f) { out = typeof v; }"}, "4=undefined@1"},  // v: MFTime
        {{"a.class", "missing.js", "."},
         "Script S: none of its urls could be read (\"a.class\", \"missing.js\", \".\")"},
    };
    for (const Case& c : cases) {
        Reset();
        Load("", "SFString", "MFTime", nullptr, c.url);
        Send(2, 1);
        ASSERT_FALSE(messages.empty());  // v's type, MFTime, is named
        std::string got = sink.events.empty() ? messages.back() : sink.events[0];
        EXPECT_EQ(got.substr(0, std::string(c.result).size()), c.result);
    }
    std::remove((::testing::TempDir() + file).c_str());
}

// Script nodes as the loader makes them: their url, declarations and values
// from the file; what they send named by the node's own field names.
TEST_F(ScriptTest, LoadedScriptsRun) {
    InitNDTTables();
    struct Case {
        const char* scene;  // text, or a file of data/events
        const char* eventIn;
        float value;
        const char* sent;  // "field=value@time"
    } cases[] = {
        {"script_color.wrl", "set_fraction", 0.25f, "color_changed=0.25,0,0.75@3"},
        {"DEF S Script { field SFVec3f v 1 2 3 field MFString names [\"a\" \"b\"] "
         "field SFTime t 5 eventIn SFFloat go eventOut SFFloat out "
         "url [\"missing.js\" \"javascript: function go(f) { out = v.z + names.length + t + f; "
         "}\"] }",
         "go", 0.5f, "out=10.5@3"},
        {"DEF S Script { field SFNode n DEF G Group {} field MFNode m [] "
         "eventIn SFFloat go eventOut SFString out "
         "url \"vrmlscript: function go(f) { out = String(n) + m.length + (n === n); }\" }",
         "go", 0, "out=Group0true@3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        VrmlLoader loader;
        loader.SetErrorStream(nullptr);
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(ORVANE_STANDARD_NODES_PATH);
        ASSERT_EQ(loader.LoadStandardNodes(), VrmlLoader::kLoadOk);
        const std::string scene = c.scene;
        if (scene.find(".wrl") != std::string::npos) {
            ASSERT_EQ(loader.ParseSceneFile(std::string(ORVANE_EVENTS_DIR) + "/" + scene),
                      VrmlLoader::kLoadOk);
        } else {
            loader.ParseSceneText("#VRML V2.0 utf8\n" + scene);
        }
        ASSERT_EQ(loader.GetErrorCount(), 0);
        script::ScriptDescription described;
        EXPECT_FALSE(script::DescribeScript(loader.GetSceneRoot(), "", "", described));  // a Group
        SingleNode* script = nullptr;
        for (const std::string& name : loader.GetDefNames()) {
            if (script::DescribeScript(loader.FindDef(name), name, "", described)) {
                script = loader.FindDef(name);
            }
        }
        ASSERT_NE(script, nullptr);
        Reset();
        ASSERT_TRUE(host->AddNode(script, "S", ORVANE_EVENTS_DIR));
        host->Initialize(1, sink);
        const int in = VrmlLoader::FindFieldIndex(script, c.eventIn);
        host->Receive(script, in, SFFloat(c.value), 3, sink);
        ASSERT_EQ(sink.events.size(), 1u) << (messages.empty() ? "" : messages[0]);
        const std::string sent = sink.events[0];
        std::string name;
        script->GetFieldName(std::stoi(sent), name);
        EXPECT_EQ(name + sent.substr(sent.find('=')), c.sent);
    }
}

}  // namespace
