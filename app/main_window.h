// MainWindow: the viewer's one top-level window ("Orvane Rendering Tool"). Its event
// handlers are the window procedure: creation initialises the render module, loads
// the start-up scene and makes the control panel; moves and resizes place the panel;
// keys and the menu ("&File": "&Open", "&Exit"; "&View": "Control &Panel") act on
// the render module and the scene.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <string>

#include "app/control_panel.h"
#include "app/panel_placement.h"
#include "app/panel_settings.h"

class CRenderModule;
class RenderWidget;
class VrmlLoader;

class MainWindow : public QMainWindow, public ControlPanelHost {
    Q_OBJECT
  public:
    // Menu commands (the whole command word is compared).
    enum Command : unsigned { kOpen = 40001, kExit = 40002, kControlPanel = 40003 };
    static constexpr int kFrameWidth = 600, kFrameHeight = 550;

    MainWindow(CRenderModule& module, VrmlLoader& loader);
    ~MainWindow() override;

    // Window creation: render module Init on the client area, the start-up scene, a
    // control panel (not yet placed). False when the scene or "standardNodes.wrl"
    // could not be read; the loader has said which.
    bool Create(const std::string& startScene = "t3.wrl");

    void OnMenuCommand(unsigned command);
    // The load-scene sequence, then a panel that exists is made anew and placed.
    // False when a file could not be read; the caller ends the program.
    bool LoadScene(const std::string& fileName);
    void PlaceControlPanel();
    // The panel's rectangle for the window's present frame and screen.
    ScreenRect ControlPanelRect() const;

    ControlPanel* GetControlPanel() const { return panel_; }
    RenderWidget* GetRenderWidget() const { return view_; }
    // The open-file dialog; tests put a chooser of their own here. An empty result
    // is a cancel.
    void SetFileChooser(std::function<QString()> chooser) { chooseFile_ = std::move(chooser); }
    static QString ChooseSceneFile(QWidget* parent);

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

  private:
    void BuildMenu();
    void NewControlPanel();
    void OpenFile();
    // A file the loader could not open ends the program, as at start-up.
    void EndAfterFailedLoad();

    CRenderModule& module_;
    VrmlLoader& loader_;
    RenderWidget* view_ = nullptr;
    QPointer<ControlPanel> panel_;
    PanelSettings settings_;
    std::function<QString()> chooseFile_;
    bool sized_ = false;
};
