#include "app/message_box_sink.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <cstdio>

MessageSink MakeGuiThreadSink(MessageSink present) {
    return [present = std::move(present)](const std::string& text, const std::string& caption) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            present(text, caption);
            return;
        }
        // The render module shows messages only after it has let go of the scene
        // lock, so the GUI thread is never waiting for this thread meanwhile.
        QMetaObject::invokeMethod(
            app, [&] { present(text, caption); }, Qt::BlockingQueuedConnection);
    };
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

void InstallQtMessageSink() {
    SetMessageSink(MakeGuiThreadSink(ShowMessageBox));
}
