#include "script/script_host.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "node/node_typedef.h"
#include "script/script_internal.h"
#include "trace/debug_trace.h"
#include "trace/message_sink.h"

namespace script {

using detail::Converter;
using detail::FieldType;

struct ScriptHost::Thread {
    detail::ScriptThread thread;
};

// One Script. Its engine and script values belong to the host's thread: they
// are made, used and destroyed by jobs run there.
struct ScriptHost::Program {
    SingleNode* node = nullptr;
    std::string title;  // "Script Door", or "Script" for a Script without a DEF name
    std::vector<Declaration> decls;
    std::vector<FieldType> types;       // by declaration
    std::vector<std::string> lastSent;  // an eventOut's last value sent, as text
    bool running = false;
    std::unique_ptr<QJSEngine> engine;
    std::unique_ptr<Converter> convert;
    QJSValue orvane;  // the prelude's bookkeeping object
    QJSValue invoke;  // its invoke and take, looked up once
    QJSValue take;

    int FindDecl(int field) const {
        for (std::size_t i = 0; i < decls.size(); ++i) {
            if (decls[i].field == field) return static_cast<int>(i);
        }
        return -1;
    }
    int FindEventOut(const std::string& name) const {
        for (std::size_t i = 0; i < decls.size(); ++i) {
            if (decls[i].kind == FieldKind::EventOut && decls[i].name == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    void Release() {
        orvane = QJSValue();
        invoke = QJSValue();
        take = QJSValue();
        convert.reset();
        engine.reset();
    }
};

namespace {

using detail::kMaxSourceBytes;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t n = std::char_traits<char>::length(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// The program of one url entry: inline after "javascript:"/"vrmlscript:", or
// the text of a local file (relative to `baseDir`). False when it does not read.
bool ReadSource(std::string url, const std::string& baseDir, std::string& source) {
    url.erase(0, url.find_first_not_of(" \t\r\n"));
    for (const char* scheme : {"javascript:", "vrmlscript:", "ecmascript:"}) {
        if (StartsWithNoCase(url, scheme)) {
            source = url.substr(std::char_traits<char>::length(scheme));
            return source.size() <= kMaxSourceBytes;
        }
    }
    if (StartsWithNoCase(url, "file://")) {
        url.erase(0, 7);
    } else if (StartsWithNoCase(url, "file:")) {
        url.erase(0, 5);
    } else if (url.find("://") != std::string::npos || url.empty()) {
        return false;  // a network url: not fetched
    }
    if (url.size() > 6 && url.compare(url.size() - 6, 6, ".class") == 0) return false;
    std::string path = url[0] == '/' || baseDir.empty() ? url : baseDir + "/" + url;
    std::error_code failed;
    if (!std::filesystem::is_regular_file(path, failed)) return false;  // no folders, pipes
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    source = text.str();
    return source.size() <= kMaxSourceBytes && !in.bad();
}

std::string Text(const Field& value) {
    std::string text;
    if (auto* single = dynamic_cast<const SFField*>(&value)) {
        single->ToString(text);
    } else if (auto* list = dynamic_cast<const MultiField*>(&value)) {
        list->ToString(text);
    }
    return text;
}

std::string ErrorText(const QJSValue& error) {
    std::string text = error.toString().toStdString();
    const int line = error.property("lineNumber").toInt();
    if (line > 0) text += " (line " + std::to_string(line) + ")";
    return text;
}

// What one call into a script gave: its eventOuts (by declaration) and
// printed lines, or the error that stops it.
struct CallResult {
    std::vector<std::pair<int, std::unique_ptr<Field>>> outs;
    std::vector<std::string> printed;
    std::vector<std::string> notes;  // reported, the script goes on
    std::string error;
};

}  // namespace

ScriptHost::ScriptHost(HostOptions options)
    : m_options(std::move(options)), m_thread(std::make_unique<Thread>()) {}

ScriptHost::~ScriptHost() {
    m_thread->thread.Run([this] {
        for (auto& program : m_programs) program->Release();
    });
}

void ScriptHost::Fail(Program& program, const std::string& what) {
    program.running = false;
    // A script's own text (a thrown string) is cut to keep the message readable.
    constexpr std::size_t kMaxWhat = 400;
    std::string text = what.size() > kMaxWhat ? what.substr(0, kMaxWhat) + "..." : what;
    ShowMessage(program.title + ": " + text + "; the script is disabled.", "Orvane");
}

bool ScriptHost::IsRunning(const SingleNode* node) const {
    for (const auto& program : m_programs) {
        if (program->node == node) return program->running;
    }
    return false;
}

void ScriptHost::SetFrameRate(double framesPerSecond) {
    m_frameRate = framesPerSecond;
}

bool ScriptHost::Add(const ScriptDescription& described) {
    for (const auto& known : m_programs) {
        if (described.node != nullptr && known->node == described.node)
            return known->running;  // a USE
    }
    auto program = std::make_unique<Program>();
    Program& p = *program;
    m_programs.push_back(std::move(program));
    p.node = described.node;
    p.title = described.name.empty() || described.name == "Script" ? "Script"
                                                                   : "Script " + described.name;
    std::vector<const Field*> initial;  // by declaration, read while loading
    for (const Declaration& decl : described.declarations) {
        FieldType type;
        if (!detail::ParseFieldType(decl.type, type)) {
            // The script runs without it; a ROUTE to or from it carries nothing.
            ShowMessage(p.title + ": " + decl.name + " has type " + decl.type +
                            ", which scripts cannot use; the script runs without it.",
                        "Orvane");
            continue;
        }
        p.decls.push_back(decl);
        p.decls.back().value = nullptr;
        initial.push_back(decl.value);
        p.types.push_back(type);
        p.lastSent.emplace_back();
    }
    std::string source;
    std::string from;
    for (const std::string& url : described.url) {
        if (ReadSource(url, described.baseDir, source)) {
            from = StartsWithNoCase(url, "javascript:") || StartsWithNoCase(url, "vrmlscript:") ||
                           StartsWithNoCase(url, "ecmascript:")
                       ? p.title
                       : url;
            break;
        }
    }
    if (from.empty() && described.url.empty()) {
        // A Script without a program (an exporter's placeholder) does nothing, quietly.
        p.running = false;
        return false;
    }
    if (from.empty()) {
        std::string list;
        for (const std::string& url : described.url) {
            list += (list.empty() ? "\"" : ", \"") + url.substr(0, 60) + "\"";
        }
        Fail(p, "none of its urls could be read (" + list + ")");
        return false;
    }

    std::string error;
    auto load = [&] {
        p.engine = std::make_unique<QJSEngine>();
        QJSValue prelude = p.engine->evaluate(QString::fromUtf8(detail::kPrelude));
        if (prelude.isError()) {
            error = "the binding did not start: " + ErrorText(prelude);
            return;
        }
        QJSValue global = p.engine->globalObject();
        p.orvane = global.property("__orvane");
        p.orvane.setProperty("version", QString::fromStdString(m_options.version));
        p.invoke = p.orvane.property("invoke");
        p.take = p.orvane.property("take");
        p.convert = std::make_unique<Converter>(*p.engine);
        QJSValue eventOut = p.orvane.property("eventOut");
        for (std::size_t i = 0; i < p.decls.size() && error.empty(); ++i) {
            const Declaration& decl = p.decls[i];
            if (decl.kind == FieldKind::EventIn) continue;
            const Field* start = decl.kind == FieldKind::EventOut ? nullptr : initial[i];
            QJSValue value = p.convert->ToScript(start, p.types[i], error);
            if (!error.empty()) {
                error = decl.name + " holds " + error;
                break;
            }
            QString name = QString::fromStdString(decl.name);
            if (decl.kind == FieldKind::EventOut) {
                eventOut.callWithInstance(p.orvane, {name, value});
                std::unique_ptr<Field> blank = p.convert->FromScript(value, p.types[i], error);
                error.clear();
                if (blank) p.lastSent[i] = Text(*blank);
            } else {
                global.setProperty(name, value);
            }
        }
    };
    // The engine is made before the budget runs, so that the budget's
    // interrupt always finds it; the program's top level runs within it.
    auto run = [&] {
        QStringList trace;
        QJSValue result = p.engine->evaluate(QString::fromStdString(source),
                                             QString::fromStdString(from), 1, &trace);
        if (result.isError()) {
            error = ErrorText(result);
        } else if (!trace.isEmpty()) {
            error = "uncaught exception: " + result.toString().toStdString();
        }
    };
    m_thread->thread.Run(load);
    if (!error.empty()) {
        Fail(p, error);
        return false;
    }
    // The top level is compiled as it runs: a long program (a minified data
    // table) gets two milliseconds more for every KB of text, once, at load
    // (an 8 MB table takes 1-2 s to compile here, more on a busy machine).
    const auto budget = m_options.budget + std::chrono::milliseconds(source.size() / 512);
    const bool overran =
        m_thread->thread.Run(run, budget, [&p] { p.engine->setInterrupted(true); });
    if (overran) {
        Fail(p, "its program ran past its " + std::to_string(budget.count()) +
                    " ms budget and was stopped");
        return false;
    }
    if (!error.empty()) {
        Fail(p, error);
        return false;
    }
    p.running = true;
    return true;
}

void ScriptHost::Call(Program& p, const std::string& function, const Field* value, int valueDecl,
                      double time, IEventSink& out) {
    if (!p.running) return;
    CallResult r;
    bool missing = false;
    auto job = [&] {
        QJSValue global = p.engine->globalObject();
        p.orvane.setProperty("now", time);
        p.orvane.setProperty("frameRate", m_frameRate);
        QJSValue f = global.property(QString::fromStdString(function));
        if (!f.isCallable()) {
            missing = true;
        } else {
            QJSValueList args{f};
            if (valueDecl >= 0) {
                std::string error;
                QJSValue arg = p.convert->ToScript(value, p.types[valueDecl], error);
                if (!error.empty()) {
                    r.notes.push_back(function + " was sent " + error + "; the event is dropped");
                    return;
                }
                args << arg << QJSValue(time);
            }
            QJSValue thrown = p.invoke.callWithInstance(p.orvane, args);
            if (thrown.isError()) {
                r.error = ErrorText(thrown);  // the engine's own (out of stack, interrupted)
            } else if (thrown.isArray()) {
                r.error = thrown.property(0).toString().toStdString();
                const int line = thrown.property(1).toInt();
                if (line > 0) r.error += " (line " + std::to_string(line) + ")";
            }
            if (!r.error.empty()) {
                r.error += " in " + function + "()";
                return;
            }
        }
        QJSValue printed = p.orvane.property("printed");
        if (const int n = printed.property("length").toInt(); n > 0) {
            for (int i = 0; i < n; ++i) {
                r.printed.push_back(printed.property(i).toString().toStdString());
            }
            p.orvane.setProperty("printed", p.engine->newArray());
        }
        QJSValue taken = p.take.callWithInstance(p.orvane);
        for (int i = 0, n = taken.property("length").toInt(); i < n; ++i) {
            QJSValue entry = taken.property(i);
            const std::string name = entry.property(0).toString().toStdString();
            const bool assigned = entry.property(2).toBool();
            const int d = p.FindEventOut(name);
            if (d < 0) continue;
            if (p.types[d].elem == detail::Elem::kNode) {
                if (assigned)
                    r.notes.push_back("eventOut " + name +
                                      " was not sent: node values are not sent by scripts");
                continue;
            }
            std::string error;
            std::unique_ptr<Field> field =
                p.convert->FromScript(entry.property(1), p.types[d], error);
            if (!field) {
                if (!assigned) continue;  // read, then given another type by a member
                r.error = "eventOut " + name + " (" + p.decls[d].type + ") was assigned " + error +
                          " in " + function + "()";
                return;
            }
            std::string text = Text(*field);
            if (!assigned && text == p.lastSent[d]) continue;
            p.lastSent[d] = std::move(text);
            r.outs.emplace_back(d, std::move(field));
        }
    };
    const bool overran =
        m_thread->thread.Run(job, m_options.budget, [&p] { p.engine->setInterrupted(true); });
    for (const std::string& line : r.printed) {
        DebugPrintf("%s: %s\n", p.title.c_str(), line.c_str());
    }
    if (overran) {
        Fail(p, function + "() ran past its " + std::to_string(m_options.budget.count()) +
                    " ms budget and was stopped");
        return;
    }
    if (!r.error.empty()) {
        Fail(p, r.error);
        return;
    }
    if (missing && valueDecl >= 0) {
        ShowMessage(
            p.title + ": no function " + function + " for its eventIn; the events are dropped.",
            "Orvane");
    }
    for (const std::string& note : r.notes) ShowMessage(p.title + ": " + note + ".", "Orvane");
    for (auto& [d, field] : r.outs) out.Emit(p.node, p.decls[d].field, std::move(field), time);
}

// An exposedField takes the value as its variable and sends it on.
void ScriptHost::SetExposed(Program& p, int d, const Field& value, double time, IEventSink& out) {
    std::string error;
    std::unique_ptr<Field> copy;
    m_thread->thread.Run([&] {
        QJSValue v = p.convert->ToScript(&value, p.types[d], error);
        if (!error.empty()) return;
        p.engine->globalObject().setProperty(QString::fromStdString(p.decls[d].name), v);
        copy = p.convert->FromScript(v, p.types[d], error);
    });
    if (copy) out.Emit(p.node, p.decls[d].field, std::move(copy), time);
}

void ScriptHost::Initialize(double time, IEventSink& out) {
    for (std::size_t i = 0; i < m_programs.size(); ++i) {
        Call(*m_programs[i], "initialize", nullptr, -1, time, out);
    }
}

void ScriptHost::Shutdown(double time, IEventSink& out) {
    for (std::size_t i = 0; i < m_programs.size(); ++i) {
        Call(*m_programs[i], "shutdown", nullptr, -1, time, out);
    }
    m_pending.clear();
}

void ScriptHost::Receive(SingleNode* node, int field, const Field& value, double time,
                         IEventSink& out) {
    for (const auto& program : m_programs) {
        Program& p = *program;
        if (p.node != node || !p.running) continue;
        const int d = p.FindDecl(field);
        if (d < 0) return;
        const Declaration& decl = p.decls[d];
        if (decl.kind == FieldKind::EventIn) {
            if (std::find(m_pending.begin(), m_pending.end(), &p) == m_pending.end()) {
                m_pending.push_back(&p);
            }
            Call(p, decl.name, &value, d, time, out);
        } else if (decl.kind == FieldKind::ExposedField) {
            SetExposed(p, d, value, time, out);
        }
        return;
    }
}

void ScriptHost::EventsProcessed(double time, IEventSink& out) {
    std::vector<Program*> pending;
    pending.swap(m_pending);
    for (Program* p : pending) Call(*p, "eventsProcessed", nullptr, -1, time, out);
}

}  // namespace script
