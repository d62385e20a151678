// The script host's inner parts, seen by the host and its tests only: the
// thread every engine runs on, and the conversions between field values of
// the scene model and script values.
#pragma once

#include <QJSEngine>
#include <QJSValue>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Field;
class SingleNode;

namespace script::detail {

// The longest program a Script may have (inline or in a file), and the JS
// stack its engine gets: 8 bytes a register, at most one register for every
// two bytes of program text, twice over.
inline constexpr std::size_t kMaxSourceBytes = std::size_t{16} << 20;
inline constexpr std::size_t kJsStackBytes = 8 * kMaxSourceBytes;

// The binding's script side (script_prelude.js).
extern const char* const kPrelude;

// One thread that runs jobs one at a time, for callers on any thread. QJSEngine
// belongs to the thread that made it (its stack limits are that thread's), so
// every engine is made, used and destroyed by jobs of one ScriptThread. The
// thread makes the process's QCoreApplication when there is none (a tool
// without Qt), which QJSEngine needs; it lives as long as the process.
class ScriptThread {
  public:
    ScriptThread();
    ~ScriptThread();
    ScriptThread(const ScriptThread&) = delete;
    ScriptThread& operator=(const ScriptThread&) = delete;

    // Runs `job` on the thread and waits for it. When it runs past `budget`,
    // calls `interrupt` once from the waiting thread (it must make the job
    // return soon) and waits on. True when the budget was exceeded.
    bool Run(const std::function<void()>& job, std::chrono::milliseconds budget,
             const std::function<void()>& interrupt);
    // Runs `job` without a budget (engine set-up and tear-down).
    void Run(const std::function<void()>& job);

  private:
    void Loop();
    void Notify();
    template <class Ready>
    bool Spin(Ready ready);

    std::mutex m_callLock;  // one caller at a time
    std::mutex m_lock;      // with m_wake, for the sides that sleep
    std::condition_variable m_wake;
    std::atomic<const std::function<void()>*> m_job{nullptr};  // posted, not yet done
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A declared field type: "SFVec3f" is {kVec3f, single}, "MFVec3f" {kVec3f, list}.
// An SFImage is stored as the scene model's list of numbers: width, height,
// components, then one number per pixel.
enum class Elem {
    kBool,
    kInt32,
    kFloat,
    kTime,
    kString,
    kVec2f,
    kVec3f,
    kColor,
    kRotation,
    kNode,
    kImage
};
struct FieldType {
    Elem elem = Elem::kFloat;
    bool multi = false;
};
// The type of a declared type name; false for a name the binding does not
// carry (SFImage, MFBool, MFTime, unknown names).
bool ParseFieldType(const std::string& name, FieldType& type);

// Conversions in one engine (on its thread). Script objects are made by the
// prelude's constructors; node references by an id into this converter's table.
class Converter {
  public:
    explicit Converter(QJSEngine& engine);
    // `value` as a script value of `type`; undefined with `error` set when the
    // field's class does not fit the type. Null `value`: the type's default.
    QJSValue ToScript(const Field* value, const FieldType& type, std::string& error);
    // A field value of `type` from a script value; null with `error` ("a
    // string", "an SFVec3f") when the script value does not fit.
    std::unique_ptr<Field> FromScript(const QJSValue& value, const FieldType& type,
                                      std::string& error);

  private:
    QJSValue ElementToScript(const Field* value, Elem elem, std::string& error);
    bool ElementFromScript(const QJSValue& value, Elem elem, Field& out, std::string& error);
    QJSValue Constructor(Elem elem, bool multi) const;

    QJSEngine& m_engine;
    std::vector<QJSValue> m_sf;  // constructors by Elem
    std::vector<QJSValue> m_mf;
    std::vector<SingleNode*> m_nodes;  // SFNode ids
};

// How a script value is named in a message: "a string", "an SFColor", "undefined".
std::string Describe(const QJSValue& value);

}  // namespace script::detail
