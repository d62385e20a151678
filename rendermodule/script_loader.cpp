#include "rendermodule/script_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "loader/scene_source.h"
#include "trace/message_sink.h"

namespace {

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void Refuse(const std::string& reason) {
    ShowMessage("The scene's scripts do not run: cannot load the script engine (" + reason + ").",
                "Orvane");
}

std::string ScriptModulePath() {
    if (const char* chosen = std::getenv("ORVANE_SCRIPT_MODULE"); chosen && *chosen) return chosen;
    const std::string dir = ExecutableDir();
    if (!dir.empty() && IsFile(dir + ORVANE_SCRIPT_MODULE_FROM_BIN))
        return dir + ORVANE_SCRIPT_MODULE_FROM_BIN;
    return ORVANE_SCRIPT_MODULE_BUILT;
}

}  // namespace

std::unique_ptr<IScriptEngine> LoadScriptEngine() {
    const std::string path = ScriptModulePath();
    // RTLD_NOW: a symbol the program does not provide fails here, not in the
    // middle of a scene. The handle is never closed: Qt's libraries are not
    // made to be unloaded, and loading a loaded module again only counts up.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* error = dlerror();
        Refuse(error ? error : path);
        return nullptr;
    }
    auto* make = reinterpret_cast<ScriptEngineFactory*>(dlsym(module, kScriptEngineFactory));
    if (make == nullptr) {
        const char* error = dlerror();
        Refuse(error ? error : path + ": no " + kScriptEngineFactory);
        return nullptr;
    }
    std::unique_ptr<IScriptEngine> engine(make(kScriptEngineVersion));
    if (!engine) Refuse(path + " was built for another version of the program");
    return engine;
}
