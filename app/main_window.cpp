#include "app/main_window.h"

#include "app/queued_calls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/command_line.h"
#include "app/key_map.h"
#include "app/message_box_sink.h"
#include "app/render_widget.h"
#include "loader/scene_source.h"
#include "loader/vrml_loader.h"
#include "rendermodule/render_module.h"
#include "retained/gl/headless_renderer.h"
#include "retained/gl/png_writer.h"
#include "trace/debug_trace.h"
#include "trace/message_sink.h"

namespace {
// How long closing waits for the render thread.
constexpr std::uint32_t kThreadEndMs = 3000;
const char kRecentKey[] = "recentFiles";
const char kCaption[] = "Orvane";

QSettings ViewerSettings() {
    return QSettings(QStringLiteral("Orvane"), QStringLiteral("Orvane"));
}

QString FormatBytes(std::uint64_t bytes) {
    if (bytes < 1024) return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024) return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

// The first local file of a drag, or empty.
QString DraggedFile(const QMimeData* data) {
    if (data == nullptr) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

void Tell(const QString& text) {
    ShowMessage(text.toStdString(), kCaption, MessageRepeat::kEveryTime);
}

}  // namespace

MainWindow::MainWindow(CRenderModule& module, VrmlLoader& loader)
    : module_(module), loader_(loader) {
    setWindowTitle(QStringLiteral("Orvane Rendering Tool"));
    setCursor(Qt::ArrowCursor);
    setAcceptDrops(true);
    BuildMenu();
    view_ = new RenderWidget(module_, this);
    setCentralWidget(view_);
    status_ = new QLabel(this);
    statusBar()->addWidget(status_, 1);
    resize(kFrameWidth, kFrameHeight);
    chooseFile_ = [this] { return ChooseSceneFile(this); };
    // A click on an Anchor's children opens its scene file as File/Open does, once
    // the click has been handled.
    auto* calls = new QueuedCalls(this);
    module_.SetAnchorHandler([this, calls](const std::string& file) {
        calls->Post([this, file] { OpenScene(QString::fromStdString(file)); });
    });
    chooseSaveFile_ = [this](const QString& title, const QString& suggestion,
                             const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, suggestion, filter);
    };
    UpdateFileMenu();
}

MainWindow::~MainWindow() {
    module_.SetAnchorHandler(nullptr);
    module_.SetDefLookup(nullptr);
    if (panel_) delete panel_.data();
    // The shown document and the client area go with the window: the module (and a
    // render thread still stepping) lets go of the document's nodes and of the
    // display device drawing into the client area first.
    module_.Stop();
    MessageDeferral defer;
    std::lock_guard<std::recursive_mutex> lock(module_.SceneLock());
    if (shown_) module_.SetScene(nullptr, nullptr);
    shown_.reset();
    module_.Release();
}

void MainWindow::BuildMenu() {
    struct Item {
        const char* menu;
        const char* text;  // null: the recent-file submenu
        Command command;
        const char* shortcut;
    };
    static const Item kMenu101[] = {
        {"&File", "&Open", kOpen, "Ctrl+O"},
        {"&File", nullptr, kRecentFile, nullptr},
        {"&File", "Save as &BIFS…", kSaveBifs, "Ctrl+S"},
        {"&File", "Export &Picture…", kExportPicture, nullptr},
        {"&File", "&Exit", kExit, "Ctrl+Q"},
        {"&View", "Control &Panel", kControlPanel, nullptr},
    };
    QMenu* menu = nullptr;
    const char* menuText = nullptr;
    for (const Item& item : kMenu101) {
        if (menuText == nullptr || std::string(menuText) != item.menu) {
            menuText = item.menu;
            menu = menuBar()->addMenu(QString::fromUtf8(item.menu));
        }
        if (item.text == nullptr) {
            recentMenu_ = menu->addMenu(QStringLiteral("Open &Recent"));
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf8(item.text));
        if (item.shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
        const unsigned command = item.command;
        connect(action, &QAction::triggered, this, [this, command] { OnMenuCommand(command); });
        if (command == kSaveBifs) saveBifs_ = action;
        if (command == kExportPicture) exportPicture_ = action;
    }
}

// The recent-file entries and which commands the shown scene allows.
void MainWindow::UpdateFileMenu() {
    recentMenu_->clear();
    const QStringList files = RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        QAction* action = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
        const unsigned command = kRecentFile + static_cast<unsigned>(i);
        connect(action, &QAction::triggered, this, [this, command] { OnMenuCommand(command); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
    saveBifs_->setEnabled(shown_ != nullptr);
    exportPicture_->setEnabled(shown_ != nullptr);
}

QStringList MainWindow::RecentFiles() const {
    return ViewerSettings().value(QString::fromLatin1(kRecentKey)).toStringList();
}

void MainWindow::RememberFile(const QString& file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kMaxRecentFiles) files.removeLast();
    QSettings settings = ViewerSettings();
    settings.setValue(QString::fromLatin1(kRecentKey), files);
    settings.sync();
    UpdateFileMenu();
}

QString MainWindow::StatusText() const {
    return status_->text();
}

bool MainWindow::Create(const std::string& startScene) {
    module_.Init(view_);
    if (!startScene.empty() && !LoadScene(startScene)) return false;
    // Placed by the window's next move or resize.
    if (!panel_) NewControlPanel();
    return true;
}

bool MainWindow::Start(const std::string& file) {
    if (file.empty()) {
        const std::string start = DefaultStartScene();
        if (!Create(start)) {
            std::fprintf(stderr, "orvane: cannot open %s: %s\n", start.c_str(), lastError_.c_str());
            return false;
        }
        show();
        return true;
    }
    Create(std::string());
    show();
    OpenScene(QString::fromStdString(file));
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
        case kSaveBifs:
        case kExportPicture:
            SaveFileAs(command);
            break;
        default:
            if (command >= kRecentFile && command < kRecentFile + kMaxRecentFiles) {
                const QStringList files = RecentFiles();
                const int index = static_cast<int>(command - kRecentFile);
                if (index < files.size()) OpenScene(files[index]);
            }
            break;  // a notification code in the high word matches nothing
    }
}

void MainWindow::OpenFile() {
    const QString file = chooseFile_ ? chooseFile_() : QString();
    if (file.isEmpty()) return;
    OpenScene(file);
}

QStringList MainWindow::SceneFileFilters() {
    return {QStringLiteral("VRML files (*.wrl *.wrz *.wrl.gz)"),
            QStringLiteral("BIFS streams (*.bifs)"), QStringLiteral("All files (*)")};
}

QString MainWindow::ChooseSceneFile(QWidget* parent) {
    QFileDialog dialog(parent, QString::fromUtf8("開啟檔案"));
    dialog.setNameFilters(SceneFileFilters());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("wrl"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void MainWindow::SaveFileAs(unsigned command) {
    if (!shown_ || !chooseSaveFile_) return;
    const QFileInfo scene(QString::fromStdString(shown_->file));
    const bool bifs = command == kSaveBifs;
    const QString suggestion =
        scene.dir().filePath(scene.completeBaseName() + (bifs ? ".bifs" : ".png"));
    const QString file = bifs ? chooseSaveFile_(QStringLiteral("Save as BIFS"), suggestion,
                                                QStringLiteral("BIFS streams (*.bifs)"))
                              : chooseSaveFile_(QStringLiteral("Export Picture"), suggestion,
                                                QStringLiteral("PNG pictures (*.png)"));
    if (file.isEmpty()) return;
    if (bifs)
        SaveAsBifs(file);
    else
        ExportPicture(file);
}

bool MainWindow::SaveAsBifs(const QString& file) {
    if (!shown_ || loading_) return false;
    std::vector<std::uint8_t> bifs;
    std::vector<std::string> warnings;
    std::string error;
    if (!EncodeSceneAsBifs(loader_, *shown_, bifs, &error, &warnings)) {
        Tell(QStringLiteral("Cannot save %1: %2").arg(file, QString::fromStdString(error)));
        return false;
    }
    for (const std::string& w : warnings) DebugPrintf("Save as BIFS: %s\n", w.c_str());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(reinterpret_cast<const char*>(bifs.data()), static_cast<qint64>(bifs.size())) !=
            static_cast<qint64>(bifs.size()) ||
        !out.flush()) {
        Tell(QStringLiteral("Cannot save %1: %2").arg(file, out.errorString()));
        return false;
    }
    statusBar()->showMessage(
        QStringLiteral("Saved %1 (%2)").arg(QFileInfo(file).fileName(), FormatBytes(bifs.size())) +
            (warnings.empty() ? QString()
                              : QStringLiteral(", %1 node(s) left out").arg(warnings.size())),
        5000);
    return true;
}

bool MainWindow::ExportPicture(const QString& file) {
    module_.RenderFrame();  // the view as it is now
    rm::Device* device = module_.GetD3DObj().GetDevice();
    std::shared_ptr<const rm::DeviceFrame> frame = device ? device->LatestFrame() : nullptr;
    std::string error = "nothing is shown";
    bool written = false;
    if (frame) {
        // The picture is drawn in a context of its own, on a thread of its own, apart
        // from the context Qt keeps current on this one.
        std::thread([&] {
            auto gl = rm::gl::HeadlessRenderer::Create(&error);
            if (!gl) {
                error = "no OpenGL context: " + error;
                return;
            }
            const std::vector<std::uint8_t> rgba = gl->Render(*frame, &error);
            written = !rgba.empty() && rm::gl::WritePng(file.toStdString(), frame->width,
                                                        frame->height, rgba, &error);
        }).join();
    }
    if (!written) {
        Tell(QStringLiteral("Cannot export the picture to %1: %2")
                 .arg(file, QString::fromStdString(error)));
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Exported %1 (%2 x %3)")
                                 .arg(QFileInfo(file).fileName())
                                 .arg(frame->width)
                                 .arg(frame->height),
                             5000);
    return true;
}

bool MainWindow::OpenScene(const QString& file) {
    if (LoadScene(file.toStdString())) {
        RememberFile(file);
        return true;
    }
    if (!lastError_.empty())
        Tell(QStringLiteral("Cannot open %1: %2").arg(file, QString::fromStdString(lastError_)));
    return false;
}

bool MainWindow::LoadScene(const std::string& fileName) {
    lastError_.clear();
    if (loading_) {
        lastError_ = "another scene is being loaded";
        return false;
    }
    loading_ = true;
    const auto started = std::chrono::steady_clock::now();
    // The worker uses only the loader and the nodes it makes; the render thread goes
    // on animating the shown scene meanwhile.
    auto control = std::make_shared<SceneReadControl>();
    std::future<SceneReadResult> job = std::async(std::launch::async, [this, fileName, control] {
        return ReadSceneDocument(loader_, fileName, control.get());
    });
    if (job.wait_for(progressDelay_) != std::future_status::ready)
        WaitWithProgress(fileName, job, *control);
    SceneReadResult result = job.get();
    loading_ = false;
    if (control->cancel) return false;  // whatever was read goes; the shown scene stays
    if (!result.document) {
        lastError_ = result.error;
        return false;
    }
    const int nodes = result.document->nodeCount;
    const int errors = result.document->errorCount;
    ShowSceneDocument(module_, shown_, std::move(result.document));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    rm::Device* device = module_.GetD3DObj().GetDevice();
    const std::shared_ptr<const rm::DeviceFrame> frame = device ? device->LatestFrame() : nullptr;
    status_->setText(QStringLiteral("%1 — %2 nodes, %3 triangles, loaded in %4 s%5")
                         .arg(QFileInfo(QString::fromStdString(fileName)).fileName())
                         .arg(nodes)
                         .arg(frame ? CountTriangles(*frame) : 0)
                         .arg(seconds, 0, 'f', 2)
                         .arg(errors > 0 ? QStringLiteral(", %1 errors").arg(errors) : QString()));
    UpdateFileMenu();
    if (panel_) {
        // The panel's viewpoint list must match the new scene.
        panel_->End();
        NewControlPanel();
        PlaceControlPanel();
    }
    return true;
}

void MainWindow::WaitWithProgress(const std::string& fileName, std::future<SceneReadResult>& job,
                                  SceneReadControl& control) {
    const QString name = QFileInfo(QString::fromStdString(fileName)).fileName();
    QProgressDialog dialog(this);
    dialog.setWindowTitle(QString::fromLatin1(kCaption));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    QEventLoop loop;
    auto update = [&] {
        if (job.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            loop.quit();
            return;
        }
        const std::uint64_t size = control.fileSize, read = control.bytesRead;
        dialog.setLabelText(QStringLiteral("Reading %1…\n%2 of %3")
                                .arg(name, FormatBytes(read), FormatBytes(size)));
        // A size of 0 (a pipe) shows a busy bar.
        dialog.setRange(0, size > 0 ? 1000 : 0);
        if (size > 0) dialog.setValue(static_cast<int>(std::min(read, size) * 1000 / size));
    };
    QTimer timer;
    connect(&timer, &QTimer::timeout, &loop, update);
    connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
        control.cancel = true;
        loop.quit();
    });
    update();
    dialog.show();
    timer.start(50);
    loop.exec();
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

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString file = DraggedFile(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    // Opened once the drop is over, as File/Open would.
    QTimer::singleShot(0, this, [this, file] { OpenScene(file); });
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
