#include "app/control_panel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/panel_settings.h"
#include "rendermodule/render_module.h"
#include "trace/message_sink.h"

namespace {

enum class Kind { GroupBox, Radio, Push, Combo, Check, Static, UpDown };

struct ControlTemplate {
    int id;  // -1: a control the panel never addresses
    Kind kind;
    const char* text;
    bool startsGroup;
    int x, y, width, height;  // dialog units
};

// Dialog 102, 304 x 79 dialog units, in its order (which is also the tab order).
constexpr ControlTemplate kDialog102[] = {
    {-1, Kind::GroupBox, "Interaction Mode", false, 5, 25, 100, 25},
    {ControlPanel::kNavigate, Kind::Radio, "Navigate", true, 10, 35, 45, 10},
    {ControlPanel::kEdit, Kind::Radio, "Edit", false, 60, 35, 29, 10},
    {ControlPanel::kInteract, Kind::Radio, "Interact", false, 258, 20, 44, 10},
    {ControlPanel::kPlay, Kind::Push, "PLAY!", false, 10, 5, 30, 15},
    {ControlPanel::kStop, Kind::Push, "Stop", false, 40, 5, 30, 15},
    {ControlPanel::kReset, Kind::Push, "Reset", false, 70, 5, 30, 15},
    {ControlPanel::kViewpoints, Kind::Combo, "", false, 110, 10, 90, 57},
    {ControlPanel::kStudyMode, Kind::Check, "Study mode", false, 220, 35, 50, 10},
    {ControlPanel::kHeadLight, Kind::Check, "Head light", false, 220, 50, 50, 10},
    {-1, Kind::Static, "Viewpoint:", true, 112, 0, 45, 8},
    {-1, Kind::GroupBox, "Render Quality", false, 5, 50, 100, 25},
    {ControlPanel::kWireframe, Kind::Radio, "Wireframe", true, 10, 60, 50, 10},
    {ControlPanel::kGouraud, Kind::Radio, "Gouraud", false, 60, 60, 44, 10},
    {ControlPanel::kTest, Kind::Push, "Test", false, 220, 5, 35, 14},
    {ControlPanel::kGravity, Kind::Check, "Gravity", false, 220, 65, 50, 10},
    {ControlPanel::kSpin, Kind::UpDown, "Spin3", false, 200, 10, 8, 12},
    {-1, Kind::GroupBox, "Navigate speed", false, 110, 50, 100, 25},
    {ControlPanel::kSpeed1x, Kind::Radio, "1x", true, 115, 60, 24, 10},
    {ControlPanel::kSpeed5x, Kind::Radio, "5x", false, 145, 60, 24, 10},
    {ControlPanel::kSpeed10x, Kind::Radio, "10x", false, 175, 60, 28, 10},
    {-1, Kind::GroupBox, "Navigate mode", false, 110, 25, 100, 25},
    {ControlPanel::kCamera, Kind::Radio, "Camera", true, 115, 35, 41, 10},
    {ControlPanel::kWorld, Kind::Radio, "World", false, 165, 35, 36, 10},
};
constexpr int kDialogWidth = 304, kDialogHeight = 79;

// The drop-down list keeps its closed height; the template's height is the list's.
constexpr int kComboClosedHeight = 12;

QWidget* MakeControl(const ControlTemplate& t, QWidget* parent) {
    const QString text = QString::fromUtf8(t.text);
    switch (t.kind) {
        case Kind::GroupBox:
            return new QGroupBox(text, parent);
        case Kind::Radio:
            return new QRadioButton(text, parent);
        case Kind::Push:
            return new QPushButton(text, parent);
        case Kind::Check:
            return new QCheckBox(text, parent);
        case Kind::Static:
            return new QLabel(text, parent);
        case Kind::Combo: {
            auto* combo = new QComboBox(parent);  // a drop-down list: not editable
            combo->setMaxVisibleItems(8);
            return combo;
        }
        case Kind::UpDown: {
            // An up-down control with no buddy: its arrows are all there is.
            auto* spin = new QSpinBox(parent);
            spin->setAccessibleName(text);
            spin->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
            spin->setFrame(false);
            spin->setSpecialValueText(QStringLiteral(" "));  // shows no number
            return spin;
        }
    }
    return nullptr;
}

}  // namespace

ControlPanel::ControlPanel(QWidget* owner, CRenderModule& module, ControlPanelHost& host)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint), module_(module), host_(host) {
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QFont font = this->font();
    font.setPixelSize(11);
    setFont(font);
    resize(kDialogWidth * kDialogUnit, kDialogHeight * kDialogUnit);
    BuildControls();
    InitDialog();
}

void ControlPanel::BuildControls() {
    QButtonGroup* radios = nullptr;
    for (const ControlTemplate& t : kDialog102) {
        QWidget* w = MakeControl(t, this);
        int height = t.kind == Kind::Combo ? kComboClosedHeight : t.height;
        w->setGeometry(t.x * kDialogUnit, t.y * kDialogUnit, t.width * kDialogUnit,
                       height * kDialogUnit);
        if (t.id >= 0) w->setObjectName(QString::number(t.id));
        if (t.kind == Kind::GroupBox) w->lower();  // a frame drawn behind its radios
        // A group starts at a control that says so; auto radio buttons are exclusive
        // within their group only.
        if (t.startsGroup) radios = nullptr;
        if (t.kind == Kind::Radio) {
            if (radios == nullptr) radios = new QButtonGroup(this);
            radios->addButton(static_cast<QAbstractButton*>(w));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const int id = t.id;
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { OnCommand(id, kClicked); });
        }
    }
    connect(Viewpoints(), &QComboBox::activated, this,
            [this] { OnCommand(kViewpoints, kSelChange); });
}

void ControlPanel::InitDialog() {
    const PanelSettings& s = host_.Settings();
    SetChecked(s.interactionMode == InteractionMode::Navigate ? kNavigate
               : s.interactionMode == InteractionMode::Edit   ? kEdit
                                                              : kInteract,
               true);
    SetChecked(s.navigateMode == NavigationMode::Camera ? kCamera : kWorld, true);
    SetChecked(s.navigateSpeed == 0 ? kSpeed1x : s.navigateSpeed == 1 ? kSpeed5x : kSpeed10x, true);
    SetChecked(module_.GetRenderQuality() == rm::kRenderGouraud ? kGouraud : kWireframe, true);
    SetChecked(kHeadLight, module_.IsHeadLightOn());
    QComboBox* combo = Viewpoints();
    combo->addItem(QStringLiteral("[Entry]"));
    SelectString(QStringLiteral("[Entry]"));
    for (const std::string& name : module_.GetViewpointNames()) {
        QString text = QString::fromStdString(name);
        combo->addItem(text);
        SelectString(text);
    }
    // What the panel shows is what the mouse and the keys do.
    ApplyPanelModes(s, module_);
}

bool ControlPanel::OnCommand(int id, int notification) {
    PanelSettings& s = host_.Settings();
    switch (id) {
        case kIdCancel:
            host_.ForgetControlPanel();
            End();
            return true;
        case kNavigate:
        case kEdit:
        case kInteract:
            s.interactionMode = id == kEdit       ? InteractionMode::Edit
                                : id == kInteract ? InteractionMode::Interact
                                                  : InteractionMode::Navigate;
            ApplyPanelModes(s, module_);
            break;
        case kCamera:
        case kWorld:
            s.navigateMode = id == kWorld ? NavigationMode::World : NavigationMode::Camera;
            ApplyPanelModes(s, module_);
            break;
        case kSpeed1x:
            s.navigateSpeed = 0;
            break;
        case kSpeed5x:
            s.navigateSpeed = 1;
            break;
        case kSpeed10x:
            s.navigateSpeed = 2;
            break;
        case kWireframe:
            module_.SetRenderQuality(rm::kRenderWireframe);
            break;
        case kGouraud:
            module_.SetRenderQuality(rm::kRenderGouraud);
            break;
        case kPlay:
            module_.Play();
            break;
        case kStop:
            module_.Stop();
            break;
        case kReset:
            SelectString(QStringLiteral("[Entry]"));
            module_.ResetViewpoint();
            break;
        case kViewpoints: {
            if (notification != kSelChange) return false;
            // The name is read back into a 128-byte buffer.
            std::string name = Viewpoints()->currentText().toStdString();
            if (name.size() > kTextLimit) name.resize(kTextLimit);
            module_.GoToViewpoint(name);
            break;
        }
        case kHeadLight:
            if (notification != kClicked) return false;
            IsChecked(kHeadLight) ? module_.HeadLightOn() : module_.HeadLightOff();
            break;
        case kTest:
            ShowMessage(CameraText(module_), "D3DRM Sample", MessageRepeat::kEveryTime);
            break;
        default:
            return true;  // "Study mode", "Gravity" and the rest only keep their state
    }
    host_.ReturnFocus();
    return true;
}

void ControlPanel::End() {
    hide();
    deleteLater();
}

void ControlPanel::reject() {
    OnCommand(kIdCancel);
}

QWidget* ControlPanel::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

bool ControlPanel::IsChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    return button != nullptr && button->isChecked();
}

QComboBox* ControlPanel::Viewpoints() const {
    return static_cast<QComboBox*>(Control(kViewpoints));
}

void ControlPanel::SelectString(const QString& text) {
    QComboBox* combo = Viewpoints();
    const int index = combo->findText(text, Qt::MatchStartsWith);
    if (index >= 0) combo->setCurrentIndex(index);
}

void ControlPanel::SetChecked(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) button->setChecked(checked);
}
