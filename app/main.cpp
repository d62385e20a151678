// orvane: the viewer. Shows "t3.wrl" from the working directory in the main window,
// with the control panel below it.
#include <QApplication>

#include "app/application.h"
#include "app/main_window.h"
#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_module.h"

int main(int argc, char** argv) {
    InitNDTTables();
    PrepareApplication();
    QApplication app(argc, argv);
    ConfigureApplication();

    // The viewer's render module and loader, alive until main returns; the
    // module's render thread starts paused.
    CRenderModule module;
    VrmlLoader loader;
    int result = 1;
    {
        MainWindow window(module, loader);
        if (window.Create("t3.wrl")) {
            window.show();
            result = app.exec();
        }
        // However the loop ended (File/Exit leaves the thread running), the render
        // thread is gone and the device released before the window goes.
        module.Stop();
        module.GetRenderThread().Terminate(3000);
        module.Release();
    }
    return result;
}
