// orvane: the viewer. Shows "t3.wrl" from the working directory in the main window,
// with the control panel below it.
#include <QApplication>

#include "app/application.h"
#include "app/main_window.h"
#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_module.h"

namespace {
// The one render module, made before main runs and destroyed at process exit.
CRenderModule g_renderModule;
}  // namespace

int main(int argc, char** argv) {
    InitNDTTables();
    PrepareApplication();
    QApplication app(argc, argv);
    ConfigureApplication();

    int result = 1;
    {
        VrmlLoader loader;
        MainWindow window(g_renderModule, loader);
        if (window.Create("t3.wrl")) {
            window.show();
            result = app.exec();
        }
        // However the loop ended (File/Exit leaves the thread running), the render
        // thread is gone and the device released before the window goes.
        g_renderModule.Stop();
        g_renderModule.GetRenderThread().Terminate(3000);
        g_renderModule.Release();
    }
    return result;
}
