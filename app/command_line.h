// The viewer's command line: `orvane [options] [FILE]`. Read before the Qt
// application exists, so --help and --version work without a display; Qt's own
// settings go through its environment variables (QT_QPA_PLATFORM and the like).
#pragma once

#include <string>
#include <vector>

struct ViewerOptions {
    enum Action { kRun, kHelp, kVersion, kUsageError };
    Action action = kRun;
    std::string file;           // the scene to open; empty: the start-up scene
    std::string standardNodes;  // --standard-nodes FILE; empty: the loader's default
    std::string error;          // what is wrong with the arguments (kUsageError)
};

// The usage text --help prints.
extern const char kViewerUsage[];

// The scene shown when none is named: t3.wrl from the working directory, else the
// one installed with the program, else "t3.wrl" (which then cannot be opened).
std::string DefaultStartScene();

// Reads the arguments after the program name. "--" ends the options; an
// argument starting with '-' before it must be a known option.
ViewerOptions ParseViewerCommandLine(const std::vector<std::string>& args);
