// orvane: the viewer. Shows the scene named on the command line, or "t3.wrl" from
// the working directory (else the installed one), in the main window, with the
// control panel below it.
#include <QApplication>
#include <cstdio>

#include "app/application.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_module.h"

int main(int argc, char** argv) {
    const ViewerOptions options = ParseViewerCommandLine({argv + 1, argv + argc});
    switch (options.action) {
        case ViewerOptions::kHelp:
            std::fputs(kViewerUsage, stdout);
            return 0;
        case ViewerOptions::kVersion:
            std::printf("orvane %s\n", ORVANE_VERSION);
            return 0;
        case ViewerOptions::kUsageError:
            std::fprintf(stderr, "orvane: %s\n", options.error.c_str());
            return 2;
        case ViewerOptions::kRun:
            break;
    }

    InitNDTTables();
    PrepareApplication();
    // The arguments are ours: Qt sees only the program name.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    ConfigureApplication();

    // The viewer's render module and loader, alive until main returns; the
    // module's render thread starts paused.
    CRenderModule module;
    VrmlLoader loader;
    if (!options.standardNodes.empty()) loader.SetStandardNodesPath(options.standardNodes);
    int result = 1;
    {
        MainWindow window(module, loader);
        if (window.Start(options.file)) result = app.exec();
        // However the loop ended (File/Exit leaves the thread running), the render
        // thread is gone and the device released before the window goes.
        module.Stop();
        module.GetRenderThread().Terminate(3000);
        module.Release();
    }
    return result;
}
