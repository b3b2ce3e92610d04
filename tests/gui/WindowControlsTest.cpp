// The windows of the program's own look hold no plain Qt buttons, edits or progress bars; the
// dialogs that keep the platform's look (NVR configuration, About) hold no owner-drawn buttons.
// (The owner-drawn classes have no meta-object of their own, so kinds are told by dynamic_cast.)

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <initializer_list>
#include <utility>

#include "app/CAboutDlg.h"
#include "app/CTarvoDlg.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/COwnerEdit.h"
#include "controls/CXPButton.h"
#include "dialogs/CIPCamConfigDlg.h"
#include "dialogs/CLog.h"
#include "dialogs/CSetNet.h"
#include "dialogs/CSetOstra.h"
#include "upgrade/CNVRConfigDlg.h"
#include "upgrade/CNVRUpgradeDlg.h"
#include "upgrade/CUpGrade.h"

using namespace tarvo::gui;

namespace {

// The direct children of `window` that are a Kind, and how many of them are not an Owner.
template <typename Kind, typename Owner>
std::pair<qsizetype, int> plainOnes(QWidget& window) {
    const auto found = window.findChildren<Kind*>(Qt::FindDirectChildrenOnly);
    int plain = 0;
    for (Kind* widget : found) plain += dynamic_cast<Owner*>(widget) == nullptr ? 1 : 0;
    return {found.size(), plain};
}

}  // namespace

// A window of the program's own look draws every button itself, and the login and upgrade
// dialogs every edit and progress bar too; a plain Qt control added to one of them fails here.
TEST(WindowControls, OwnerDrawnWindowsHoldNoPlainControls) {
    CTarvoDlg main;
    CLog login(5505, nullptr);
    CUpGrade camera(nullptr);
    CNVRUpgradeDlg nvr(nullptr);
    for (QWidget* window :
         std::initializer_list<QWidget*>{&main, main.netDialog(), main.cameraDialog(),
                                         main.cloudDialog(), &login, &camera, &nvr}) {
        SCOPED_TRACE(window->metaObject()->className());
        const auto [buttons, plainButtons] = plainOnes<QPushButton, CXPButton>(*window);
        EXPECT_GT(buttons, 0);
        EXPECT_EQ(plainButtons, 0);
    }
    for (QWidget* window : std::initializer_list<QWidget*>{&login, &camera, &nvr}) {
        SCOPED_TRACE(window->metaObject()->className());
        const auto [edits, plainEdits] = plainOnes<QLineEdit, COwnerEdit>(*window);
        EXPECT_GT(edits, 0);
        EXPECT_EQ(plainEdits, 0);
    }
    for (QWidget* window : std::initializer_list<QWidget*>{&camera, &nvr}) {
        SCOPED_TRACE(window->metaObject()->className());
        const auto bars = window->findChildren<QProgressBar*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(bars.size(), 1);
        const auto* bar = dynamic_cast<const CGradientProgressCtrl*>(bars.front());
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->startColour(), CGradientProgressCtrl::upgradeColours().start);
        EXPECT_EQ(bar->endColour(), CGradientProgressCtrl::upgradeColours().end);
    }
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
