#include "app/command_line.h"

#include <filesystem>

#include "loader/scene_source.h"

const char kViewerUsage[] =
    "usage: orvane [options] [FILE]\n"
    "\n"
    "Shows the scene FILE: VRML97 text (.wrl, or gzip-compressed .wrz and .wrl.gz)\n"
    "or a BIFS stream (.bifs). Without FILE it opens t3.wrl from the working\n"
    "directory, or else the one installed with the program. A scene file dropped on\n"
    "the window opens too.\n"
    "\n"
    "options:\n"
    "  --standard-nodes FILE    the declarations file; by default standardNodes.wrl\n"
    "                           from the working directory, else the installed copy,\n"
    "                           else the copy built into the program\n"
    "  -h, --help               this text\n"
    "  --version                the program's version\n"
    "\n"
    "exit status: 0 closed normally, 1 the start-up scene could not be read,\n"
    "2 bad arguments.\n";

ViewerOptions ParseViewerCommandLine(const std::vector<std::string>& args) {
    ViewerOptions o;
    auto usageError = [&o](std::string why) {
        o.action = ViewerOptions::kUsageError;
        o.error = std::move(why);
        return o;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool isOption = !optionsEnded && a.size() > 1 && a[0] == '-';
        if (!isOption) {
            if (a.empty()) return usageError("an empty file name");
            if (!o.file.empty())
                return usageError("more than one file given: " + o.file + " and " + a);
            o.file = a;
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            o.action = ViewerOptions::kHelp;
            return o;
        } else if (a == "--version") {
            o.action = ViewerOptions::kVersion;
            return o;
        } else if (a == "--standard-nodes") {
            if (i + 1 >= args.size()) return usageError("missing file after --standard-nodes");
            o.standardNodes = args[++i];
        } else {
            return usageError("unknown option " + a + " (see --help)");
        }
    }
    return o;
}

std::string DefaultStartScene() {
    namespace fs = std::filesystem;
    const std::string name = "t3.wrl";
    std::error_code error;
    if (fs::is_regular_file(name, error)) return name;
    const std::string dir = InstalledDataDir();
    if (!dir.empty() && fs::is_regular_file(dir + "/" + name, error)) return dir + "/" + name;
    return name;
}
