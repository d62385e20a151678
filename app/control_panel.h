// ControlPanel: the modeless, frameless tool window below the main window (dialog
// 102). Its buttons drive the render module: playback, render quality, head light,
// viewpoints, camera reset and the "Test" camera report; it shows and changes
// its owner's three settings.
#pragma once

#include <QDialog>
#include <string>

class CRenderModule;
class QComboBox;
struct PanelSettings;

// What the panel asks of the window that owns it.
class ControlPanelHost {
  public:
    virtual ~ControlPanelHost() = default;
    // Esc (IDCANCEL): the owner forgets the panel, which then ends itself.
    virtual void ForgetControlPanel() = 0;
    // After most commands: keys go back to the render window.
    virtual void ReturnFocus() = 0;
    // The settings every panel of this owner shows and changes.
    virtual PanelSettings& Settings() = 0;
};

class ControlPanel : public QDialog {
    Q_OBJECT
  public:
    // Control ids of dialog 102 (each control's object name is its id).
    enum Id {
        kIdCancel = 2,
        kNavigate = 1001,
        kEdit = 1003,
        kWireframe = 1018,
        kGouraud = 1019,
        kPlay = 1020,
        kStop = 1021,
        kSpeed1x = 1023,
        kReset = 1024,
        kSpeed5x = 1025,
        kViewpoints = 1026,
        kStudyMode = 1027,
        kHeadLight = 1028,
        kGravity = 1029,
        kSpeed10x = 1032,
        kCamera = 1033,
        kTest = 1034,
        kWorld = 1035,
        kSpin = 1040,
        kInteract = 1041,
    };
    // Notification codes in the high word of a command.
    static constexpr int kClicked = 0;      // BN_CLICKED
    static constexpr int kSelChange = 1;    // CBN_SELCHANGE
    static constexpr int kDialogUnit = 2;   // pixels per dialog unit
    static constexpr int kTextLimit = 127;  // longest viewpoint name read back

    // Builds the controls, shows the settings, fills the viewpoint list from the
    // module and hands the panel's modes to it (WM_INITDIALOG). Not yet shown.
    ControlPanel(QWidget* owner, CRenderModule& module, ControlPanelHost& host);

    // One command of a control (WM_COMMAND); true when handled.
    bool OnCommand(int id, int notification = kClicked);
    // Ends the panel (EndDialog): hidden now, deleted by the event loop.
    void End();

    // The control with dialog id `id`, or null.
    QWidget* Control(int id) const;
    bool IsChecked(int id) const;
    QComboBox* Viewpoints() const;

  protected:
    void reject() override;  // Esc

  private:
    void BuildControls();
    void InitDialog();
    // CB_SELECTSTRING from the start: the first item beginning with `text`
    // (case-insensitively) becomes the selection.
    void SelectString(const QString& text);
    void SetChecked(int id, bool checked);

    CRenderModule& module_;
    ControlPanelHost& host_;
};
