#include "app/application.h"

#include <QCoreApplication>
#include <clocale>

#include "app/message_box_sink.h"
#include "app/platform_qt.h"

void PrepareApplication() {
    PlatformQtWidget::SetDefaultFormat();
}

void ConfigureApplication() {
    // The window system takes the window class from the application name.
    QCoreApplication::setApplicationName(QStringLiteral("Render"));
    // The application object has called setlocale(LC_ALL, ""); scene files and the
    // "Test" text use "." as the decimal point in every locale.
    std::setlocale(LC_NUMERIC, "C");
    InstallQtMessageSink();
}
