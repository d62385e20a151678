#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "app/key_map.h"
#include "app/load_scene.h"
#include "app/message_box_sink.h"
#include "app/render_widget.h"
#include "loader/vrml_loader.h"
#include "rendermodule/render_module.h"

namespace {
// How long closing waits for the render thread.
constexpr std::uint32_t kThreadEndMs = 3000;
}  // namespace

MainWindow::MainWindow(CRenderModule& module, VrmlLoader& loader)
    : module_(module), loader_(loader) {
    setWindowTitle(QStringLiteral("Orvane Rendering Tool"));
    setCursor(Qt::ArrowCursor);
    BuildMenu();
    view_ = new RenderWidget(module_, this);
    setCentralWidget(view_);
    resize(kFrameWidth, kFrameHeight);
    chooseFile_ = [this] { return ChooseSceneFile(this); };
}

MainWindow::~MainWindow() {
    if (panel_) delete panel_.data();
}

void MainWindow::BuildMenu() {
    struct Item {
        const char* menu;
        const char* text;
        Command command;
    };
    static const Item kMenu101[] = {
        {"&File", "&Open", kOpen},
        {"&File", "&Exit", kExit},
        {"&View", "Control &Panel", kControlPanel},
    };
    QMenu* menu = nullptr;
    const char* menuText = nullptr;
    for (const Item& item : kMenu101) {
        if (menuText == nullptr || std::string(menuText) != item.menu) {
            menuText = item.menu;
            menu = menuBar()->addMenu(QString::fromUtf8(item.menu));
        }
        QAction* action = menu->addAction(QString::fromUtf8(item.text));
        const unsigned command = item.command;
        connect(action, &QAction::triggered, this, [this, command] { OnMenuCommand(command); });
    }
}

bool MainWindow::Create(const std::string& startScene) {
    module_.Init(view_);
    if (!LoadScene(startScene)) return false;
    // Placed by the window's next move or resize.
    if (!panel_) NewControlPanel();
    return true;
}

void MainWindow::OnMenuCommand(unsigned command) {
    switch (command) {
        case kOpen:
            OpenFile();
            break;
        case kExit:
            module_.Release();
            QCoreApplication::quit();
            break;
        case kControlPanel:
            if (panel_) panel_->End();
            NewControlPanel();  // not placed until the window next moves or resizes
            break;
        default:
            break;  // a notification code in the high word matches nothing
    }
}

void MainWindow::OpenFile() {
    const QString file = chooseFile_ ? chooseFile_() : QString();
    if (file.isEmpty()) return;
    if (!LoadScene(file.toStdString())) EndAfterFailedLoad();
}

QString MainWindow::ChooseSceneFile(QWidget* parent) {
    QFileDialog dialog(parent, QString::fromUtf8("開啟檔案"), QString(),
                       QStringLiteral("VRML files (*.wrl)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("wrl"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

bool MainWindow::LoadScene(const std::string& fileName) {
    if (::LoadScene(module_, loader_, fileName) != VrmlLoader::kLoadOk) return false;
    if (panel_) {
        // The panel's viewpoint list must match the new scene.
        panel_->End();
        NewControlPanel();
        PlaceControlPanel();
    }
    return true;
}

void MainWindow::EndAfterFailedLoad() {
    module_.Stop();
    ReleaseMessageWaiters();  // a render thread waiting for its box can end
    module_.GetRenderThread().Terminate(kThreadEndMs);
    module_.Release();
    QCoreApplication::exit(1);
}

void MainWindow::NewControlPanel() {
    panel_ = new ControlPanel(this, module_, *this);
    panel_->show();
}

ScreenRect MainWindow::ControlPanelRect() const {
    const QRect frame = frameGeometry();
    const QScreen* screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The height of a maximised window, counted from the top of the screen.
    const int maximised = available.y() + available.height();
    return ::PlaceControlPanel(
        ScreenRect{frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()},
        maximised);
}

void MainWindow::PlaceControlPanel() {
    if (!panel_) return;
    const ScreenRect r = ControlPanelRect();
    panel_->setGeometry(r.left, r.top, r.Width(), r.Height());
}

void MainWindow::ForgetControlPanel() {
    panel_ = nullptr;
}

void MainWindow::ReturnFocus() {
    activateWindow();
    view_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (panel_) PlaceControlPanel();
    module_.OnMove();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (panel_) PlaceControlPanel();
    // The client area tells the render module its new size (RenderWidget::resizeEvent).
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    view_->setFocus(Qt::OtherFocusReason);
    if (sized_) return;
    sized_ = true;
    // 600 x 550 is the frame's size: once the window system has added its
    // decorations, take them off the client size.
    QTimer::singleShot(0, this, [this] {
        const QSize decorations = frameGeometry().size() - geometry().size();
        if (decorations.width() > 0 || decorations.height() > 0)
            resize(QSize(kFrameWidth, kFrameHeight) - decorations);
    });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const int key = VirtualKeyFromQtKey(event->key());
    if (key == kVkTestBox) {
        AddTestBox(module_);
    } else if (key != 0) {
        module_.OnKeyDown(key);
    } else {
        QMainWindow::keyPressEvent(event);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    module_.Stop();
    ReleaseMessageWaiters();  // a render thread waiting for its box can end
    // Waits only as long as the render thread needs to leave its loop.
    module_.GetRenderThread().Terminate(kThreadEndMs);
    module_.Release();
    if (panel_) panel_->End();
    event->accept();
    QCoreApplication::quit();
}
