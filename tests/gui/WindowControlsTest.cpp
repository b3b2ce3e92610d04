// Every window builds its buttons, edits and progress bars from the owner-drawn controls, and
// (The owner-drawn classes have no meta-object of their own, so kinds are told by dynamic_cast.)
// the dialogs that keep the platform's look (NVR configuration, About) still do.

#include <gtest/gtest.h>

#include <QPushButton>

#include <initializer_list>

#include "app/CAboutDlg.h"
#include "app/CTarvoDlg.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/COwnerEdit.h"
#include "controls/CXPButton.h"
#include "controls/DialogUnits.h"
#include "dialogs/CIPCamConfigDlg.h"
#include "dialogs/CLog.h"
#include "dialogs/CSetNet.h"
#include "dialogs/CSetOstra.h"
#include "upgrade/CNVRConfigDlg.h"
#include "upgrade/CNVRUpgradeDlg.h"
#include "upgrade/CUpGrade.h"

using namespace tarvo::gui;

namespace {

// Every id names exactly one control of `window`, and it is a `Control`.
template <typename Control>
void expectKind(QWidget& window, std::initializer_list<int> ids) {
    for (const int id : ids) {
        const auto found =
            window.findChildren<QWidget*>(controlName(id), Qt::FindDirectChildrenOnly);
        ASSERT_EQ(found.size(), 1) << window.objectName().toStdString() << " control " << id;
        EXPECT_NE(dynamic_cast<Control*>(found.front()), nullptr)
            << window.metaObject()->className() << " control " << id << " is a "
            << found.front()->metaObject()->className();
    }
}

}  // namespace

TEST(WindowControls, MainWindowAndSettingsDialogsUseXpButtons) {
    CTarvoDlg window;
    expectKind<CXPButton>(window, {1053, 6, 1025, 5, 1017, 2, 1002, 1010});
    expectKind<CXPButton>(*window.netDialog(), {1, 2});
    expectKind<CXPButton>(*window.cameraDialog(), {1, 2});
    expectKind<CXPButton>(*window.cloudDialog(), {1, 2});
}

TEST(WindowControls, LoginDialogHasOwnerEditsAndXpButtons) {
    CLog login(5505, nullptr);
    expectKind<COwnerEdit>(login, {1008, 1009, 1061});
    expectKind<CXPButton>(login, {1, 2});
}

TEST(WindowControls, UpgradeDialogsUseAllThreeOwnerDrawnControls) {
    CUpGrade camera(nullptr);
    expectKind<CXPButton>(camera, {1, 2, 3, 4});
    expectKind<COwnerEdit>(camera, {1032});
    expectKind<CGradientProgressCtrl>(camera, {1034});

    CNVRUpgradeDlg nvr(nullptr);
    expectKind<CXPButton>(nvr, {1, 2, 1067});
    expectKind<COwnerEdit>(nvr, {1040, 1071, 1066});
    expectKind<CGradientProgressCtrl>(nvr, {1068});
    const auto* bar =
        dynamic_cast<CGradientProgressCtrl*>(nvr.findChild<QWidget*>(controlName(1068)));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->startColour(), CGradientProgressCtrl::upgradeColours().start);
    EXPECT_EQ(bar->endColour(), CGradientProgressCtrl::upgradeColours().end);
    EXPECT_TRUE(bar->isTextVisible());
}

TEST(WindowControls, NvrConfigurationAndAboutKeepPlainButtons) {
    CNVRConfigDlg config(nullptr);
    CAboutDlg about(nullptr);
    for (QWidget* window : {static_cast<QWidget*>(&config), static_cast<QWidget*>(&about)}) {
        const auto buttons = window->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
        ASSERT_FALSE(buttons.isEmpty());
        for (const auto* b : buttons) EXPECT_EQ(dynamic_cast<const CXPButton*>(b), nullptr);
    }
}
