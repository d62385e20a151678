// The main window as the user drives it: start-up, menu commands, the panel's
// re-creation and placement, keys, mouse, closing; and messages from other threads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/main_window.h"
#include "app/message_box_sink.h"
#include "app/render_widget.h"
#include "app_fixture.h"
#include "tools/orvane-bifs/bifs_convert.h"

namespace {

class MainWindowTest : public AppTest {
  protected:
    void TearDown() override {
        m_window.reset();
        AppTest::TearDown();
    }
    MainWindow& Start(const std::string& scene) {
        m_window = std::make_unique<MainWindow>(m_module, *m_loader);
        EXPECT_TRUE(m_window->Create(scene));
        m_window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        return *m_window;
    }
    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* view = m_window->GetRenderWidget();
        QMouseEvent event(type, p, view->mapToGlobal(p), button, buttons, modifiers);
        QApplication::sendEvent(view, &event);
    }
    void ClickPanel(int id) {
        auto* button = qobject_cast<QAbstractButton*>(m_window->GetControlPanel()->Control(id));
        ASSERT_NE(button, nullptr);
        button->click();
    }

    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, StartsWithT3AndItsViewpoints) {
    // The start-up scene's pictures are named relative to its folder.
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(ORVANE_DATA_DIR)));
    MainWindow& window = Start("t3.wrl");
    QDir::setCurrent(old);
    EXPECT_EQ(window.windowTitle(), "Orvane Rendering Tool");
    EXPECT_EQ(QCoreApplication::applicationName(), "Render");  // the X11 window class
    QStringList menus, entries;
    for (QAction* a : window.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&View"}));
    for (QAction* a : window.menuBar()->actions().first()->menu()->actions())
        entries << a->text() + " " + a->shortcut().toString();
    EXPECT_EQ(entries, (QStringList{"&Open Ctrl+O", "Open &Recent ", "Save as &BIFS… Ctrl+S",
                                    "Export &Picture… ", "&Exit Ctrl+Q"}));
    EXPECT_EQ(MainWindow::SceneFileFilters(),
              (QStringList{"VRML files (*.wrl *.wrz *.wrl.gz)", "BIFS streams (*.bifs)",
                           "All files (*)"}));
    ControlPanel* panel = window.GetControlPanel();
    ASSERT_NE(panel, nullptr);
    QComboBox* combo = panel->Viewpoints();
    const std::vector<std::string> names = m_module.GetViewpointNames();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(combo->count(), static_cast<int>(names.size()) + 1);
    EXPECT_EQ(combo->itemText(0), "[Entry]");
    EXPECT_EQ(combo->currentText().toStdString(), names.back());  // the last one is shown
    EXPECT_FALSE(World()->Children().empty());
}

TEST_F(MainWindowTest, AMissingStartSceneIsAFailedStart) {
    MainWindow window(m_module, *m_loader);
    EXPECT_FALSE(window.Create(m_files.Path("t3.wrl")));
    EXPECT_EQ(window.GetControlPanel(), nullptr);
}

TEST_F(MainWindowTest, PanelComesBackAfterEscapeWithItsSettings) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    ClickPanel(1003);
    ClickPanel(1035);
    ClickPanel(1032);
    QTest::keyClick(window.GetControlPanel(), Qt::Key_Escape);
    EXPECT_EQ(window.GetControlPanel(), nullptr);
    // A load while no panel exists makes none.
    ASSERT_TRUE(window.LoadScene(m_files.Write("b.wrl", kThreeViews)));
    EXPECT_EQ(window.GetControlPanel(), nullptr);
    window.OnMenuCommand(MainWindow::kControlPanel);
    ControlPanel* panel = window.GetControlPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    for (int id : {1003, 1035, 1032}) EXPECT_TRUE(panel->IsChecked(id)) << id;
    EXPECT_EQ(panel->Viewpoints()->currentText(), "Middle");
    // View/Control Panel with a panel open replaces it.
    window.OnMenuCommand(MainWindow::kControlPanel);
    EXPECT_NE(window.GetControlPanel(), panel);
}

TEST_F(MainWindowTest, ASecondLoadReplacesAndPlacesAnOpenPanel) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    QPointer<ControlPanel> first = window.GetControlPanel();
    first->move(0, 0);
    ASSERT_TRUE(window.LoadScene(m_files.Write("b.wrl", kThreeViews)));
    ControlPanel* second = window.GetControlPanel();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first.data());
    EXPECT_FALSE(first && first->isVisible());
    const ScreenRect r = window.ControlPanelRect();
    EXPECT_EQ(second->geometry(), QRect(r.left, r.top, r.Width(), r.Height()));
    EXPECT_EQ(second->Viewpoints()->count(), 4);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

TEST_F(MainWindowTest, PanelFollowsNarrowWideAndLowWindows) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    ControlPanel* panel = window.GetControlPanel();
    const QRect screen = window.screen()->availableGeometry();
    window.setGeometry(20, 30, 400, 200);
    QRect frame = window.frameGeometry();
    EXPECT_EQ(panel->geometry(), QRect(frame.x(), frame.y() + frame.height(), 600, 160));
    window.setGeometry(20, 30, 700, 200);
    frame = window.frameGeometry();
    EXPECT_EQ(panel->geometry(), QRect(frame.x(), frame.y() + frame.height(), frame.width(), 160));
    window.setGeometry(10, screen.bottom() - 150, 640, 300);
    frame = window.frameGeometry();
    EXPECT_EQ(panel->geometry(),
              QRect(frame.x(), screen.y() + screen.height() - 168, frame.width(), 160));
}

TEST_F(MainWindowTest, FileOpenCancelAndChoice) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    const std::string next = m_files.Write("b.wrl", kThreeViews);
    QString answer;
    window.SetFileChooser([&] { return answer; });
    window.OnMenuCommand(MainWindow::kOpen);  // cancelled
    EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
    // A notification code in the high word matches no command.
    answer = QString::fromStdString(next);
    window.OnMenuCommand(0x10000u | MainWindow::kOpen);
    EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
    window.OnMenuCommand(MainWindow::kOpen);
    EXPECT_EQ(m_module.GetViewpointNames(),
              (std::vector<std::string>{"Zenith", "Alpha", "Middle"}));
    EXPECT_EQ(window.GetControlPanel()->Viewpoints()->count(), 4);
    // A file gone between choosing and reading: a box each time, and the window goes on.
    answer = QString::fromStdString(m_files.Path("gone.wrl"));
    window.OnMenuCommand(MainWindow::kOpen);
    window.OnMenuCommand(MainWindow::kOpen);
    const std::string said =
        "Cannot open " + m_files.Path("gone.wrl") + ": No such file or directory";
    EXPECT_EQ(m_messages.texts, (std::vector<std::string>{said, said}));
    EXPECT_EQ(m_messages.captions, (std::vector<std::string>{"Orvane", "Orvane"}));
    EXPECT_EQ(m_module.GetViewpointNames().size(), 3u);
    EXPECT_EQ(window.GetControlPanel()->Viewpoints()->count(), 4);
}

TEST_F(MainWindowTest, KeysAddBoxesAndNavigate) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    QWidget* view = window.GetRenderWidget();
    const std::size_t before = World()->Children().size();
    QTest::keyClick(view, Qt::Key_T);
    QTest::keyClick(view, Qt::Key_T);
    EXPECT_EQ(World()->Children().size(), before + 2);
    // Camera mode (the panel's default): W moves the camera forward along its view.
    m_module.GoToViewpoint("Far");
    QTest::keyClick(view, Qt::Key_W);
    EXPECT_NEAR(Camera()->GetPosition(nullptr).z, 19.9f, 1e-4);
    QTest::keyClick(view, Qt::Key_Left);  // turns in place
    EXPECT_NEAR(Camera()->GetPosition(nullptr).z, 19.9f, 1e-4);
    // World mode: the arrows turn the world, the camera stays.
    ClickPanel(1035);
    QTest::keyClick(view, Qt::Key_Up);
    glm::vec3 dir, up;
    World()->GetOrientation(nullptr, &dir, &up);
    EXPECT_NEAR(up.z, -std::sin(0.1f), 1e-4);  // turned -0.1 about x
    EXPECT_NEAR(Camera()->GetPosition(nullptr).z, 19.9f, 1e-4);
}

TEST_F(MainWindowTest, DragsTurnTheCameraAndEditClicksPick) {
    MainWindow& window = Start(m_files.Write("a.wrl", "Shape { geometry Box { size 4 4 4 } }"));
    QWidget* view = window.GetRenderWidget();
    const QPoint centre(view->width() / 2, view->height() / 2);
    Mouse(QEvent::MouseMove, centre, Qt::NoButton, Qt::NoButton);
    Mouse(QEvent::MouseMove, centre + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(m_module.IsMouseCaptured());
    glm::vec3 dir, up;
    Camera()->GetOrientation(nullptr, &dir, &up);
    EXPECT_NEAR(dir.x, std::sin(1.0f), 1e-4);  // 40 pixels right: -1 radian about y
    Mouse(QEvent::MouseMove, centre + QPoint(40, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(m_module.IsMouseCaptured());
    Mouse(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    const std::size_t before = World()->Children().size();
    ClickPanel(1024);  // Reset: the box is in the middle of the view again
    Mouse(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(World()->Children().size(), before);  // navigate mode picks nothing
    ClickPanel(1003);                               // Edit
    Mouse(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(World()->Children().size(), before + 1);  // the selection box
    Mouse(QEvent::MouseButtonRelease, QPoint(1, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(World()->Children().size(), before);
}

TEST_F(MainWindowTest, ClosingEndsTheRenderThreadAndExitReleases) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    m_module.Play();
    window.OnMenuCommand(MainWindow::kExit);  // the thread keeps running, harmlessly
    EXPECT_EQ(m_module.GetD3DObj().GetDevice(), nullptr);
    QTest::qWait(60);
    EXPECT_EQ(m_module.GetRenderThread().GetState(), CRenderThread::kRunning);
    window.close();
    EXPECT_TRUE(m_module.GetRenderThread().Terminate(0));  // already ended
}

// The window owns the shown scene and the device's client area: going while the
// render thread plays, it stops the thread and takes both from the module first.
TEST_F(MainWindowTest, AWindowGoneWhilePlayingTakesItsSceneFromTheModule) {
    Start(m_files.Write("anim.wrl",
                        "DEF T TimeSensor { cycleInterval 0.2 loop TRUE }\n"
                        "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 3 0 0] }\n"
                        "DEF X Transform { children Shape { geometry Box {} } }\n"
                        "Viewpoint { description \"V\" }\n"
                        "ROUTE T.fraction_changed TO P.set_fraction\n"
                        "ROUTE P.value_changed TO X.translation\n"));
    m_module.Play();
    QTest::qWait(60);
    m_window.reset();
    EXPECT_EQ(m_module.GetRenderThread().GetState(), CRenderThread::kPaused);
    EXPECT_TRUE(m_module.GetViewpointNames().empty());
    m_module.StepFrame();  // nothing left to animate, nothing freed touched
}

// A message from another thread is handed to the GUI thread, which does not wait
// for it; the raising thread waits until its box is closed, the box's closing
// function is dropped, or the application releases every waiter.
TEST(MessageSink, OtherThreadsWaitUntilTheirBoxIsClosed) {
    enum Release { kClosed, kDropped, kReleaseAll };
    for (Release how : {kClosed, kDropped, kReleaseAll}) {
        std::vector<std::string> shown;
        std::function<void()> close;
        bool onGuiThread = false;
        MessageSink old = SetMessageSink(MakeGuiThreadSink(
            [&](const std::string& t, const std::string& c) { shown.push_back(c + ": " + t); },
            [&](const std::string& t, const std::string& c, std::function<void()> closed) {
                onGuiThread = QThread::currentThread() == TestApp().thread();
                shown.push_back("box " + c + ": " + t);
                close = std::move(closed);
            }));
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            ShowMessage("from the render thread");
            returned = true;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return bool(close); }, 5000)) << how;
        // The box is up: the GUI thread shows its own messages meanwhile.
        ShowMessage("from the window thread", "error");
        EXPECT_FALSE(QTest::qWaitFor([&] { return returned.load(); }, 50)) << how;
        if (how == kClosed) close();
        if (how == kDropped) close = nullptr;
        if (how == kReleaseAll) ReleaseMessageWaiters();
        EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 5000)) << how;
        worker.join();
        if (how == kReleaseAll) {
            // Once released, threads go on at once and their messages go to stderr.
            ::testing::internal::CaptureStderr();
            std::thread([] { ShowMessage("at the end"); }).join();
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), "D3DRM Sample: at the end\n");
        }
        SetMessageSink(old);
        EXPECT_TRUE(onGuiThread);
        EXPECT_EQ(shown, (std::vector<std::string>{"box D3DRM Sample: from the render thread",
                                                   "error: from the window thread"}))
            << how;
    }
}

// The visible message box showing `text`, if there is one.
QMessageBox* BoxShowing(const char* text) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w);
            box && box->isVisible() && box->text() == text)
            return box;
    return nullptr;
}

// While the render thread's box is up, the window takes the user's clicks: Stop,
// File/Open (the scene lock is free), and closing ends the render thread.
TEST_F(MainWindowTest, ABoxFromTheRenderThreadLeavesTheWindowUsable) {
    const std::string scene = m_files.Write("nag.wrl", kNaggingScene);
    MainWindow& window = Start(scene);
    std::vector<std::string> onGuiThread;
    struct Restore {
        MessageSink old;
        ~Restore() {
            ReleaseMessageWaiters();  // a failed check leaves no thread waiting
            SetMessageSink(old);
        }
    } restore{SetMessageSink(MakeGuiThreadSink(
        [&](const std::string& t, const std::string&) { onGuiThread.push_back(t); },
        OpenMessageBox))};
    ClickPanel(ControlPanel::kPlay);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = BoxShowing(kNagText)) != nullptr; }, 5000));
    EXPECT_EQ(box->windowTitle(), "D3DRM Sample");
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A click through the window system, which a modal box would keep from the panel.
    QWidget* stop = window.GetControlPanel()->Control(ControlPanel::kStop);
    QTest::mouseClick(stop->window()->windowHandle(), Qt::LeftButton, {},
                      stop->mapTo(stop->window(), stop->rect().center()));
    EXPECT_EQ(m_module.GetRenderThread().GetState(), CRenderThread::kPaused);
    window.SetFileChooser([&] { return QString::fromStdString(scene); });
    window.OnMenuCommand(MainWindow::kOpen);
    EXPECT_EQ(onGuiThread.size(), 2u);  // the new scene's load messages
    EXPECT_EQ(BoxShowing(kNagText), box);
    QPointer<QMessageBox> first(box);
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 5000));
    // The new scene shows the text again, once.
    ClickPanel(ControlPanel::kPlay);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = BoxShowing(kNagText)) != nullptr; }, 5000));
    QPointer<QMessageBox> second(box);
    window.close();
    EXPECT_TRUE(m_module.GetRenderThread().Terminate(0));  // ended while closing
    EXPECT_TRUE(second.isNull() || !second->isVisible());
}

// Needs an OpenGL context (QT_QPA_PLATFORM=xcb under Xvfb): what the window shows.
TEST_F(MainWindowTest, PlayAnimatesTheShownFrameAndStopFreezesIt) {
    const std::string scene = m_files.Write(
        "anim.wrl",
        "DEF T TimeSensor { cycleInterval 1 loop TRUE }\n"
        "DEF P PositionInterpolator { key [0 1] keyValue [-3 0 0, 3 0 0] }\n"
        "DEF X Transform { children Shape { appearance Appearance { material Material {} }\n"
        "  geometry Box { size 2 2 2 } } }\n"
        "ROUTE T.fraction_changed TO P.set_fraction\n"
        "ROUTE P.value_changed TO X.translation\n");
    MainWindow& window = Start(scene);
    RenderWidget* view = window.GetRenderWidget();
    QTest::qWait(50);
    if (!view->HasRenderer()) GTEST_SKIP() << "no OpenGL context on this platform";
    // Below the FPS text.
    auto shown = [&] {
        return view->View()->grabFramebuffer().copy(0, 30, view->width(), view->height() - 30);
    };
    QImage still = shown();
    ClickPanel(1020);  // PLAY!
    QTest::qWait(300);
    EXPECT_NE(still, shown());
    ClickPanel(1021);  // Stop
    QTest::qWait(100);
    QImage a = shown();
    QTest::qWait(200);
    EXPECT_EQ(a, shown());
}

// The command line's file opens in a window that starts empty; a bad one is reported
// and leaves the window ready for another. The status bar tells what was read.
TEST_F(MainWindowTest, StartOpensTheCommandLineFileOrReportsIt) {
    const std::string bad = m_files.Path("absent.wrl");
    {
        MainWindow window(m_module, *m_loader);
        ASSERT_TRUE(window.Start(bad));
        EXPECT_TRUE(window.isVisible());
        EXPECT_NE(window.GetControlPanel(), nullptr);
        EXPECT_EQ(window.ShownScene(), nullptr);
        EXPECT_TRUE(World()->Children().empty());
        window.close();
    }
    EXPECT_EQ(m_messages.texts,
              (std::vector<std::string>{"Cannot open " + bad + ": No such file or directory"}));
    m_module.Release();
    m_window = std::make_unique<MainWindow>(m_module, *m_loader);
    ASSERT_TRUE(m_window->Start(m_files.Write("a.wrl", kTwoViews)));
    EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
    EXPECT_TRUE(m_window->StatusText().startsWith(
        QString::fromUtf8("a.wrl — 4 nodes, 12 triangles, loaded in ")))
        << m_window->StatusText().toStdString();
}

// Five files, newest first, kept from one run of the viewer to the next.
TEST_F(MainWindowTest, RecentFilesAcrossTwoRuns) {
    QSettings(QStringLiteral("Orvane"), QStringLiteral("Orvane")).clear();
    std::vector<QString> files;
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        files.push_back(
            QString::fromStdString(m_files.Write(std::string(name) + ".wrl", kTwoViews)));
    {
        MainWindow& first = Start(files[0].toStdString());
        for (const QString& file : files) first.OpenScene(file);
        first.OpenScene(files[1]);                                   // moves to the front
        first.OpenScene(QString::fromStdString(m_files.Path("x")));  // fails: not listed
        m_window.reset();
    }
    m_module.Release();
    MainWindow& second = Start(m_files.Write("other.wrl", kThreeViews));
    const QStringList expected{files[1], files[5], files[4], files[3], files[2]};
    EXPECT_EQ(second.RecentFiles(), expected);
    QMenu* recent = nullptr;
    for (QMenu* menu : second.findChildren<QMenu*>())
        if (menu->title() == "Open &Recent") recent = menu;
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(recent->actions().size(), 5);
    EXPECT_EQ(recent->actions()[1]->text(), "&2 " + files[5]);
    recent->actions()[1]->trigger();
    EXPECT_EQ(second.ShownScene()->file, files[5].toStdString());
    EXPECT_EQ(second.RecentFiles().first(), files[5]);
}

// Save as BIFS writes what orvane-bifs encode writes; the stream opens in the viewer
// with the same viewpoints, and saves again to the same bytes.
TEST_F(MainWindowTest, SaveAsBifsThenReopenIt) {
    const std::string scene = m_files.Write(
        "views.wrl", std::string(kThreeViews) + "\nNavigationInfo { headlight FALSE }");
    MainWindow& window = Start(scene);
    const int nodes = window.ShownScene()->nodeCount;
    QString suggested;
    int saves = 0;
    window.SetSaveFileChooser([&](const QString&, const QString& suggestion, const QString&) {
        suggested = suggestion;
        return QString::fromStdString(m_files.Path("saved" + std::to_string(++saves) + ".bifs"));
    });
    window.OnMenuCommand(MainWindow::kSaveBifs);
    EXPECT_EQ(suggested.toStdString(), m_files.Path("views.bifs"));
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    const std::vector<std::uint8_t> saved = read(m_files.Path("saved1.bifs"));
    std::vector<std::uint8_t> tool;
    std::string error;
    ASSERT_TRUE(EncodeWrlFile(scene, ORVANE_STANDARD_NODES_PATH, tool, &error)) << error;
    EXPECT_EQ(saved, tool);

    ASSERT_TRUE(window.OpenScene(QString::fromStdString(m_files.Path("saved1.bifs"))));
    EXPECT_TRUE(window.ShownScene()->bifs);
    EXPECT_EQ(m_module.GetViewpointNames(),
              (std::vector<std::string>{"Zenith", "Alpha", "Middle"}));
    EXPECT_EQ(window.ShownScene()->nodeCount, nodes - 1);  // BIFS leaves NavigationInfo out
    window.OnMenuCommand(MainWindow::kSaveBifs);
    EXPECT_EQ(read(m_files.Path("saved2.bifs")), saved);
    EXPECT_TRUE(m_messages.texts.empty());
}

// Export Picture: the view as a PNG of the view's size.
TEST_F(MainWindowTest, ExportPictureWritesTheView) {
    MainWindow& window = Start(m_files.Write("box.wrl",
                                             "Viewpoint { position 0 0 10 }\n"
                                             "Shape { appearance Appearance { material Material "
                                             "{ diffuseColor 1 0 0 } } geometry Box {} }"));
    const QString file = QString::fromStdString(m_files.Path("view.png"));
    window.SetSaveFileChooser([&](const QString&, const QString&, const QString&) { return file; });
    window.OnMenuCommand(MainWindow::kExportPicture);
    ASSERT_TRUE(m_messages.texts.empty()) << m_messages.texts.front();
    const QImage picture(file);
    ASSERT_FALSE(picture.isNull());
    int w = 0, h = 0;
    window.GetRenderWidget()->GetClientSize(w, h);
    EXPECT_EQ(picture.size(), QSize(w, h));
    const QColor middle = picture.pixelColor(w / 2, h / 2), corner = picture.pixelColor(1, 1);
    EXPECT_GT(middle.red(), 100);                                  // the red box
    EXPECT_LT(corner.red() + corner.green() + corner.blue(), 30);  // the black background
    // A folder that cannot be written to is a message, not a crash.
    EXPECT_FALSE(window.ExportPicture(QString::fromStdString(m_files.Path("no/such/dir.png"))));
    EXPECT_EQ(m_messages.texts.size(), 1u);
}

// A scene file dropped on the window opens as File/Open would; other drags are refused.
TEST_F(MainWindowTest, DroppedFileOpens) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    QMimeData text, file;
    text.setText(QStringLiteral("not a file"));
    file.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString(m_files.Write("b.wrl", kThreeViews)))});
    for (QMimeData* data : {&text, &file}) {
        const bool isFile = data == &file;
        QDragEnterEvent enter(QPoint(20, 40), Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &enter);
        EXPECT_EQ(enter.isAccepted(), isFile);
        QDropEvent drop(QPointF(20, 40), Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &drop);
        EXPECT_EQ(drop.isAccepted(), isFile);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_module.GetViewpointNames().size() == 3; }, 5000));
    EXPECT_EQ(window.GetControlPanel()->Viewpoints()->count(), 4);
}

// A slow load shows its progress dialog; Cancel ends it and the shown scene stays.
// The slow file is a pipe that gives the scene and stays open until the user cancels.
TEST_F(MainWindowTest, CancelOfASlowLoadKeepsTheShownScene) {
    MainWindow& window = Start(m_files.Write("a.wrl", kTwoViews));
    const std::string pipe = m_files.Path("slow.wrl");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> cancelled{false};
    std::thread writer([&] {
        const int fd = open(pipe.c_str(), O_WRONLY);
        const std::string text = "#VRML V2.0 utf8\n" + std::string(kThreeViews);
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        for (int i = 0; i < 1000 && !cancelled; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        close(fd);
    });
    window.SetProgressDelay(std::chrono::milliseconds(0));
    QString label;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        poll.stop();
        label = dialog->labelText();
        dialog->findChild<QPushButton*>()->click();
        cancelled = true;
    });
    poll.start(10);
    EXPECT_FALSE(window.LoadScene(pipe));
    writer.join();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(label.startsWith(QString::fromUtf8("Reading slow.wrl…\n"))) << label.toStdString();
    EXPECT_EQ(window.LastLoadError(), "");
    EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
    EXPECT_EQ(window.ShownScene()->file, m_files.Path("a.wrl"));
    EXPECT_TRUE(m_messages.texts.empty());
}

}  // namespace
