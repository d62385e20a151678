// MainWindow: the viewer's one top-level window ("Orvane Rendering Tool"). Its event
// handlers are the window procedure: creation initialises the render module, loads
// the start-up scene and makes the control panel; moves and resizes place the panel;
// keys and the menu ("&File": "&Open", "Open &Recent", "Save as &BIFS…", "Export
// &Picture…", "&Exit"; "&View": "Control &Panel") act on the render module and the
// scene; a scene file dropped on the window opens; the status bar under the view
// tells what the last load read.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "app/control_panel.h"
#include "app/load_scene.h"
#include "app/panel_placement.h"
#include "app/panel_settings.h"

class CRenderModule;
class QLabel;
class QMenu;
class RenderWidget;
class VrmlLoader;
struct SceneReadControl;

class MainWindow : public QMainWindow, public ControlPanelHost {
    Q_OBJECT
  public:
    // Menu commands (the whole command word is compared). kRecentFile + i opens the
    // i-th file of the recent list.
    enum Command : unsigned {
        kOpen = 40001,
        kExit = 40002,
        kControlPanel = 40003,
        kSaveBifs = 40004,
        kExportPicture = 40005,
        kRecentFile = 40010,
    };
    static constexpr int kFrameWidth = 600, kFrameHeight = 550;
    static constexpr int kMaxRecentFiles = 5;

    MainWindow(CRenderModule& module, VrmlLoader& loader);
    ~MainWindow() override;

    // Window creation: render module Init on the client area, the start-up scene (none
    // when empty), a control panel (not yet placed). False when the scene could not be
    // read (LastLoadError says why).
    bool Create(const std::string& startScene = "t3.wrl");
    // The viewer's start, showing the window. With `file` (from the command line) the
    // window starts empty and opens it as File/Open would: a file that cannot be shown
    // is reported and the window stays, ready for another. Without, it shows
    // DefaultStartScene(); false (with the reason on standard error) when that cannot
    // be read, and the program ends.
    bool Start(const std::string& file);

    void OnMenuCommand(unsigned command);
    // The load-scene sequence: the file is read on a worker thread; when that takes
    // longer than the progress delay (one second), a progress dialog shows the bytes
    // read of the file's size, and its Cancel ends the read. Then the scene is handed
    // to the module and a panel that exists is made anew and placed. False when the
    // file could not be shown (LastLoadError says why) or the read was cancelled
    // (LastLoadError is empty); the previous scene then stays as it was.
    bool LoadScene(const std::string& fileName);
    // LoadScene as the user asks for it (File/Open, a recent file, a drop, the command
    // line): a failure is shown in a message box naming the file and the reason, a
    // success enters the recent-file list.
    bool OpenScene(const QString& file);
    const std::string& LastLoadError() const { return lastError_; }
    // The current view as a PNG of the view's size; the current scene as `orvane-bifs
    // encode` writes it. False, after a message box saying why, on failure.
    bool ExportPicture(const QString& file);
    bool SaveAsBifs(const QString& file);

    void PlaceControlPanel();
    // The panel's rectangle for the window's present frame and screen.
    ScreenRect ControlPanelRect() const;

    ControlPanel* GetControlPanel() const { return panel_; }
    RenderWidget* GetRenderWidget() const { return view_; }
    const SceneDocument* ShownScene() const { return shown_.get(); }
    // The last files opened, newest first (kept between runs with QSettings).
    QStringList RecentFiles() const;
    QString StatusText() const;
    // The open-file dialog; tests put a chooser of their own here. An empty result
    // is a cancel.
    void SetFileChooser(std::function<QString()> chooser) { chooseFile_ = std::move(chooser); }
    static QString ChooseSceneFile(QWidget* parent);
    // The open-file dialog's filters, in the order it offers them.
    static QStringList SceneFileFilters();
    // The save dialogs (Save as BIFS, Export Picture), likewise.
    using SaveChooser = std::function<QString(const QString& title, const QString& suggestion,
                                              const QString& filter)>;
    void SetSaveFileChooser(SaveChooser chooser) { chooseSaveFile_ = std::move(chooser); }
    // How long a load runs before its progress dialog shows.
    void SetProgressDelay(std::chrono::milliseconds delay) { progressDelay_ = delay; }

    // ControlPanelHost
    void ForgetControlPanel() override;
    void ReturnFocus() override;
    PanelSettings& Settings() override { return settings_; }

  protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildMenu();
    void UpdateFileMenu();
    void NewControlPanel();
    void OpenFile();
    void SaveFileAs(unsigned command);
    void RememberFile(const QString& file);
    // Runs the event loop with the progress dialog until `job` is done or cancelled.
    void WaitWithProgress(const std::string& fileName, std::future<SceneReadResult>& job,
                          SceneReadControl& control);

    CRenderModule& module_;
    VrmlLoader& loader_;
    RenderWidget* view_ = nullptr;
    QPointer<ControlPanel> panel_;
    PanelSettings settings_;
    std::function<QString()> chooseFile_;
    SaveChooser chooseSaveFile_;
    std::unique_ptr<SceneDocument> shown_;
    std::string lastError_;
    bool loading_ = false;
    std::chrono::milliseconds progressDelay_{1000};
    QMenu* recentMenu_ = nullptr;
    QAction* saveBifs_ = nullptr;
    QAction* exportPicture_ = nullptr;
    QLabel* status_ = nullptr;
    bool sized_ = false;
};
