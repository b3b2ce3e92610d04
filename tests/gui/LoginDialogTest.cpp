#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "GuiDriver.h"
#include "controls/DialogUnits.h"
#include "core/text/UiTextTable.h"
#include "dialogs/CLog.h"

using namespace tarvo;
using gui::CLog;
using gui::controlName;
using test::ModalDriver;

namespace {

template <typename T>
T* control(CLog& dialog, int id) {
    return dialog.findChild<T*>(controlName(id));
}

// Runs the dialog with `answer` applied once it is up; the exec() result.
int runWith(CLog& dialog, ModalDriver& driver, ModalDriver::LoginAnswer answer) {
    driver.logins.push_back(std::move(answer));
    return dialog.exec();
}

class LoginDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::setLanguage("zh_CN.UTF-8");
        text::buildUiText(text::chooseUiLanguage());
    }
    ModalDriver driver;
};

TEST_F(LoginDialogTest, OpensWithItsDefaults) {
    CLog dialog(5600, nullptr);
    QString user, port, title, userLabel;
    bool highDefinition = false;
    runWith(dialog, driver, [&](CLog& d) {
        user = control<QLineEdit>(d, 1008)->text();
        port = control<QLineEdit>(d, 1061)->text();
        highDefinition = control<QRadioButton>(d, 1020)->isChecked();
        userLabel = control<QLabel>(d, 1015)->text();
        title = d.windowTitle();
        control<QPushButton>(d, 2)->click();
    });
    EXPECT_EQ(user, QStringLiteral("admin"));
    EXPECT_EQ(port, QStringLiteral("5600"));
    EXPECT_TRUE(highDefinition);
    EXPECT_EQ(userLabel, QStringLiteral("用户名:"));
    EXPECT_EQ(title, QStringLiteral("登录"));
    EXPECT_EQ(CLog().GetPort(), 5505);
    const gui::DialogUnits du(dialog.font());
    EXPECT_EQ(dialog.size(), du.size(174, 93));
}

TEST_F(LoginDialogTest, PortRangeIsInclusive) {
    for (const char* good : {"5000", "6000"}) {
        CLog dialog(nullptr);
        EXPECT_EQ(runWith(dialog, driver, ModalDriver::confirmWithPort(QString::fromLatin1(good))),
                  QDialog::Accepted);
        EXPECT_EQ(dialog.GetPort(), QString::fromLatin1(good).toInt());
    }
    EXPECT_TRUE(driver.boxes.empty());

    // Refused ports keep the dialog open with the message; the next valid port is taken.
    CLog dialog(nullptr);
    driver.logins = {ModalDriver::confirmWithPort("4999"), ModalDriver::confirmWithPort("6001"),
                     ModalDriver::confirmWithPort(""), ModalDriver::confirmWithPort("port"),
                     ModalDriver::confirmWithPort("5123")};
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetPort(), 5123);
    ASSERT_EQ(driver.boxes.size(), 4u);
    for (const auto& box : driver.boxes) EXPECT_EQ(box.text, QStringLiteral("端口输入错误"));
}

TEST_F(LoginDialogTest, RadioButtonsKeepExactlyOneAndGiveTheStream) {
    const std::pair<int, int> choices[] = {{1020, 0}, {1021, 1}, {1062, 2}};
    for (const auto& [id, stream] : choices) {
        CLog dialog(nullptr);
        int checkedCount = -1;
        runWith(dialog, driver, [&, id = id](CLog& d) {
            QTest::mouseClick(control<QRadioButton>(d, 1062), Qt::LeftButton);
            QTest::mouseClick(control<QRadioButton>(d, id), Qt::LeftButton);
            QTest::mouseClick(control<QRadioButton>(d, id),
                              Qt::LeftButton);  // a second click keeps it
            checkedCount = 0;
            for (int r : {1020, 1021, 1062})
                checkedCount += control<QRadioButton>(d, r)->isChecked() ? 1 : 0;
            control<QLineEdit>(d, 1009)->setText(QStringLiteral("密码"));
            control<QPushButton>(d, 1)->click();
        });
        EXPECT_EQ(checkedCount, 1);
        EXPECT_EQ(dialog.StreamChoice, stream);
        EXPECT_EQ(dialog.password, QStringLiteral("密码"));
        EXPECT_EQ(dialog.userName, QStringLiteral("admin"));
    }
}

TEST_F(LoginDialogTest, NvrModeHidesTheStreamAndUsesPort5500) {
    CLog dialog(5999, nullptr);
    dialog.SetNvrMode(1);
    bool streamHidden = false;
    EXPECT_EQ(runWith(dialog, driver,
                      [&](CLog& d) {
                          streamHidden = !control<QLabel>(d, 1023)->isVisible();
                          for (int r : {1020, 1021, 1062})
                              streamHidden &= !control<QRadioButton>(d, r)->isVisible();
                          control<QPushButton>(d, 1)->click();
                      }),
              QDialog::Accepted);
    EXPECT_TRUE(streamHidden);
    EXPECT_EQ(dialog.GetPort(), 5500);
    EXPECT_EQ(dialog.StreamChoice, 0);
}

TEST_F(LoginDialogTest, EmptyCredentialsAreAcceptedAndEnglishLabelsFollowTheTable) {
    test::setLanguage("en_US.UTF-8");
    text::buildUiText(text::chooseUiLanguage());
    CLog dialog(nullptr);
    QString okText;
    runWith(dialog, driver, [&](CLog& d) {
        control<QLineEdit>(d, 1008)->clear();
        okText = control<QPushButton>(d, 1)->text();
        control<QPushButton>(d, 1)->click();
    });
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.userName, QString());
    EXPECT_EQ(okText, QStringLiteral("OK"));
}

// The user name and port last confirmed are offered again for the same kind of device (an NVR's
// preview included); the password is never written down.
TEST_F(LoginDialogTest, RemembersUserAndPortPerKindOfDeviceButNeverThePassword) {
    const auto confirmAs = [](QString user, QString port) {
        return [=](CLog& d) {
            control<QLineEdit>(d, 1008)->setText(user);
            control<QLineEdit>(d, 1009)->setText(QStringLiteral("pw-not-stored"));
            control<QLineEdit>(d, 1061)->setText(port);
            control<QPushButton>(d, 1)->click();
        };
    };
    CLog camera(nullptr);
    runWith(camera, driver, confirmAs(QStringLiteral("installer"), QStringLiteral("5123")));
    const auto offered = [&](CLog& dialog) {
        QString shown;
        runWith(dialog, driver, [&](CLog& d) {
            shown = control<QLineEdit>(d, 1008)->text() + QLatin1Char(' ') +
                    control<QLineEdit>(d, 1061)->text();
            control<QPushButton>(d, 2)->click();
        });
        return shown.toStdString();
    };
    CLog nvr(5505, nullptr);
    nvr.SetNvrMode(1);
    EXPECT_EQ(offered(nvr), "admin 5500");
    CLog nvrConfirmed(nullptr);
    nvrConfirmed.SetNvrMode(1);
    runWith(nvrConfirmed, driver, confirmAs(QStringLiteral("nvradmin"), QStringLiteral("5999")));

    CLog cameraAgain(nullptr);
    EXPECT_EQ(offered(cameraAgain), "installer 5123");
    CLog nvrPreview(5500, nullptr);
    nvrPreview.setNvrDevice(true);
    EXPECT_EQ(offered(nvrPreview), "nvradmin 5999");

    QFile stored(QSettings().fileName());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly)) << stored.fileName().toStdString();
    const QByteArray contents = stored.readAll();
    EXPECT_TRUE(contents.contains("nvradmin")) << contents.toStdString();
    EXPECT_FALSE(contents.contains("pw-not-stored")) << contents.toStdString();
}

}  // namespace
