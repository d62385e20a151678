// The control panel (dialog 102) over a real render module and scene: its controls,
// the settings that outlive it, and what each command does.
#include <QButtonGroup>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include "app/control_panel.h"
#include "app/load_scene.h"
#include "app/panel_settings.h"
#include "app_fixture.h"

namespace {

class FakeHost : public ControlPanelHost {
  public:
    void ForgetControlPanel() override { ++forgotten; }
    void ReturnFocus() override { ++focus; }
    PanelSettings& Settings() override { return settings; }
    int forgotten = 0, focus = 0;
    PanelSettings settings;
};

class ControlPanelTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(Load(m_files.Write("s.wrl", kTwoViews)), "");
    }
    void TearDown() override {
        m_panel.reset();
        ModuleTest::TearDown();
    }
    ControlPanel& NewPanel() {
        m_panel = std::make_unique<ControlPanel>(nullptr, m_module, m_host);
        return *m_panel;
    }
    void Click(int id) {
        auto* button = qobject_cast<QAbstractButton*>(m_panel->Control(id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }

    FakeHost m_host;
    std::unique_ptr<ControlPanel> m_panel;
};

TEST_F(ControlPanelTest, EveryControlOfTheTemplateWithItsCaptionAndPlace) {
    ControlPanel& panel = NewPanel();
    const struct {
        int id;
        const char* text;
        int x, y, w, h;
    } kButtons[] = {
        {1001, "Navigate", 10, 35, 45, 10},    {1003, "Edit", 60, 35, 29, 10},
        {1020, "PLAY!", 10, 5, 30, 15},        {1021, "Stop", 40, 5, 30, 15},
        {1024, "Reset", 70, 5, 30, 15},        {1027, "Study mode", 220, 35, 50, 10},
        {1028, "Head light", 220, 50, 50, 10}, {1018, "Wireframe", 10, 60, 50, 10},
        {1019, "Gouraud", 60, 60, 44, 10},     {1034, "Test", 220, 5, 35, 14},
        {1029, "Gravity", 220, 65, 50, 10},    {1023, "1x", 115, 60, 24, 10},
        {1025, "5x", 145, 60, 24, 10},         {1032, "10x", 175, 60, 28, 10},
        {1033, "Camera", 115, 35, 41, 10},     {1035, "World", 165, 35, 36, 10},
        {1041, "Interact", 258, 20, 44, 10},
    };
    for (const auto& b : kButtons) {
        auto* button = qobject_cast<QAbstractButton*>(panel.Control(b.id));
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_EQ(button->text().toStdString(), b.text);
        EXPECT_EQ(button->geometry(), QRect(b.x * 2, b.y * 2, b.w * 2, b.h * 2)) << b.text;
    }
    ASSERT_NE(panel.Viewpoints(), nullptr);
    EXPECT_EQ(panel.Viewpoints()->geometry().topLeft(), QPoint(220, 20));
    EXPECT_NE(panel.Control(1040), nullptr);  // the up-down control
    EXPECT_EQ(panel.size(), QSize(608, 158));
    EXPECT_TRUE(panel.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(panel.isModal());
    // Radio buttons are exclusive within their own group only.
    Click(1003);
    Click(1035);
    Click(1032);
    Click(1018);
    for (int id : {1003, 1035, 1032, 1018}) EXPECT_TRUE(panel.IsChecked(id)) << id;
    for (int id : {1001, 1033, 1023, 1025, 1019}) EXPECT_FALSE(panel.IsChecked(id)) << id;
}

TEST_F(ControlPanelTest, StartsFromTheSettingsTheQualityAndTheScene) {
    ControlPanel& panel = NewPanel();
    for (int id : {1001, 1033, 1023, 1019, 1028}) EXPECT_TRUE(panel.IsChecked(id)) << id;
    for (int id : {1027, 1029}) EXPECT_FALSE(panel.IsChecked(id)) << id;
    QComboBox* combo = panel.Viewpoints();
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "[Entry]");
    EXPECT_EQ(combo->itemText(1), "Far");
    EXPECT_EQ(combo->itemText(2), "Side");
    EXPECT_EQ(combo->currentText(), "Side");  // the scene's last viewpoint is shown
    // The panel's modes are what the module does.
    EXPECT_EQ(m_module.GetInteractionMode(), InteractionMode::Navigate);
    EXPECT_EQ(m_module.GetNavigationMode(), NavigationMode::Camera);
}

TEST_F(ControlPanelTest, SettingsOutliveThePanelAndReachTheModule) {
    NewPanel();
    Click(1003);  // Edit
    Click(1035);  // World
    Click(1032);  // 10x
    EXPECT_EQ(m_module.GetInteractionMode(), InteractionMode::Edit);
    EXPECT_EQ(m_module.GetNavigationMode(), NavigationMode::World);
    EXPECT_EQ(m_host.focus, 3);
    m_module.SetInteractionMode(InteractionMode::Navigate);
    ControlPanel& again = NewPanel();
    for (int id : {1003, 1035, 1032}) EXPECT_TRUE(again.IsChecked(id)) << id;
    for (int id : {1001, 1033, 1023}) EXPECT_FALSE(again.IsChecked(id)) << id;
    EXPECT_EQ(m_module.GetInteractionMode(),
              InteractionMode::Edit);  // handed over again on creation
    Click(1025);
    EXPECT_EQ(m_host.settings.navigateSpeed, 1);
    Click(1041);  // Interact: one of the three
    EXPECT_EQ(m_module.GetInteractionMode(), InteractionMode::Interact);
    EXPECT_TRUE(NewPanel().IsChecked(1041));  // and a new panel shows it
    Click(1001);
    Click(1033);
    EXPECT_EQ(m_module.GetInteractionMode(), InteractionMode::Navigate);
    EXPECT_EQ(m_module.GetNavigationMode(), NavigationMode::Camera);
}

TEST_F(ControlPanelTest, ViewpointChoiceResetAndTheEntryView) {
    ControlPanel& panel = NewPanel();
    QComboBox* combo = panel.Viewpoints();
    combo->setCurrentIndex(1);
    EXPECT_TRUE(panel.OnCommand(ControlPanel::kViewpoints, ControlPanel::kSelChange));
    EXPECT_EQ(Camera()->GetPosition(nullptr), glm::vec3(0, 0, 20));
    // Other notifications of the combo box do nothing.
    combo->setCurrentIndex(2);
    EXPECT_FALSE(panel.OnCommand(ControlPanel::kViewpoints, 5));
    EXPECT_EQ(Camera()->GetPosition(nullptr), glm::vec3(0, 0, 20));
    // The user's choice in the list goes through the same command.
    emit combo->activated(2);
    EXPECT_EQ(Camera()->GetPosition(nullptr), glm::vec3(1.5f, 0, 4));
    Click(1024);  // Reset
    EXPECT_EQ(combo->currentText(), "[Entry]");
    EXPECT_EQ(Camera()->GetPosition(nullptr), glm::vec3(0, 0, 10));
    EXPECT_GE(m_host.focus, 3);
}

TEST_F(ControlPanelTest, TestShowsTheCameraInAMessageBox) {
    ControlPanel& panel = NewPanel();
    rm::Frame* camera = Camera();
    camera->SetPosition(nullptr, 0, 0, 0);
    camera->SetOrientation(nullptr, {0, 0, 1}, {0, 1, 0});
    Click(ControlPanel::kTest);
    ASSERT_EQ(m_messages.texts.size(), 1u);
    EXPECT_EQ(m_messages.texts[0],
              "Position:(0.000000, 0.000000, 0.000000)\n"
              "Orientation:(0.000000, 0.000000, 1.000000), (0.000000, 1.000000, 0.000000)");
    EXPECT_EQ(m_messages.captions[0], "D3DRM Sample");
    // The user asked again: the same report again, not dropped as already shown.
    Click(ControlPanel::kTest);
    ASSERT_EQ(m_messages.texts.size(), 2u);
    EXPECT_EQ(m_messages.texts[1], m_messages.texts[0]);
    (void)panel;
}

TEST_F(ControlPanelTest, HeadLightQualityAndPlayback) {
    NewPanel();
    Click(1028);  // off
    EXPECT_TRUE(Camera()->Lights().empty());
    EXPECT_FALSE(NewPanel().IsChecked(1028));  // a re-created panel shows the light's state
    Click(1028);                               // on
    EXPECT_EQ(Camera()->Lights().size(), 1u);
    EXPECT_TRUE(NewPanel().IsChecked(1028));
    EXPECT_FALSE(m_panel->OnCommand(ControlPanel::kHeadLight, 1));  // not a click
    Click(1018);
    EXPECT_EQ(m_module.GetRenderQuality(), rm::kRenderWireframe);
    EXPECT_TRUE(NewPanel().IsChecked(1018));  // a re-created panel shows it
    Click(1019);
    EXPECT_EQ(m_module.GetRenderQuality(), rm::kRenderGouraud);
    Click(1020);
    EXPECT_EQ(m_module.GetRenderThread().GetState(), CRenderThread::kRunning);
    Click(1021);
    EXPECT_EQ(m_module.GetRenderThread().GetState(), CRenderThread::kPaused);
}

TEST_F(ControlPanelTest, StudyModeAndGravityOnlyKeepTheirState) {
    ControlPanel& panel = NewPanel();
    Click(1027);
    Click(1029);
    EXPECT_TRUE(panel.IsChecked(1027));
    EXPECT_TRUE(panel.IsChecked(1029));
    EXPECT_EQ(m_host.focus, 0);  // no focus change
}

TEST_F(ControlPanelTest, EscapeMakesTheOwnerForgetThePanel) {
    ControlPanel* panel = new ControlPanel(nullptr, m_module, m_host);
    QPointer<ControlPanel> watch(panel);
    panel->show();
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_EQ(m_host.forgotten, 1);
    EXPECT_FALSE(panel->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}

}  // namespace
