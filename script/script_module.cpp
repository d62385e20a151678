// The entry point of orvane-script.so: the render module finds it by name
// (kScriptEngineFactory) once it has loaded the module.
#include <type_traits>

#include "script/script_host.h"

extern "C" __attribute__((visibility("default"))) IScriptEngine* orvane_create_script_engine(
    int version) {
    // The factory's type is checked here, where both the name and the type are known.
    static_assert(std::is_same_v<decltype(orvane_create_script_engine), ScriptEngineFactory>);
    if (version != kScriptEngineVersion) return nullptr;
    return new script::ScriptHost();
}
