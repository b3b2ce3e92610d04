#include "GuiDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "app/CTarvoDlg.h"
#include "common/UiText.h"
#include "controls/CSortListCtrl.h"
#include "controls/DialogUnits.h"
#include "dialogs/CLog.h"

namespace tarvo::test {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void pump(std::chrono::milliseconds duration) {
    waitUntil([] { return false; }, duration);
}

void setLanguage(const char* lang) {
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", lang, 1);
    if (QCoreApplication::instance() != nullptr) gui::applyUiLanguage();
}

StallProbe::StallProbe(std::chrono::milliseconds interval) {
    pinger_ = std::thread([this, interval] {
        while (!stopping_.load()) {
            const auto sent = std::chrono::steady_clock::now();
            ++outstanding_;
            QMetaObject::invokeMethod(
                &receiver_,
                [this, sent] {
                    longest_ = std::max(longest_, std::chrono::steady_clock::now() - sent);
                    --outstanding_;
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(interval);
        }
    });
}

StallProbe::~StallProbe() {
    stop();
}

std::chrono::milliseconds StallProbe::stop() {
    stopping_ = true;
    if (pinger_.joinable()) pinger_.join();
    waitUntil([this] { return outstanding_.load() == 0; }, std::chrono::seconds(30));
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest_);
}

ModalDriver::ModalDriver() : timer_(new QTimer) {
    QObject::connect(timer_, &QTimer::timeout, [this] { poll(); });
    timer_->start(20);
}

ModalDriver::~ModalDriver() {
    delete timer_;
}

ModalDriver::LoginAnswer ModalDriver::confirm() {
    return [](gui::CLog& dialog) { dialog.findChild<QPushButton*>(gui::controlName(1))->click(); };
}

ModalDriver::LoginAnswer ModalDriver::confirmWithPort(const QString& port) {
    return [port](gui::CLog& dialog) {
        dialog.findChild<QLineEdit*>(gui::controlName(1061))->setText(port);
        dialog.findChild<QPushButton*>(gui::controlName(1))->click();
    };
}

void ModalDriver::poll() {
    if (pending_) return;
    if (answered_ && !answered_->isVisible()) answered_ = nullptr;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal == answered_) return;
    // Act from a fresh call: an answer may open further modal windows (a message box over the
    // login dialog), and this timer does not fire again while its own slot is still running.
    pending_ = true;
    QTimer::singleShot(0, [this, target = QPointer<QWidget>(modal)] {
        pending_ = false;
        if (target && target->isVisible()) act(target.data());
    });
}

void ModalDriver::act(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        answered_ = nullptr;
        boxes.push_back({box->windowTitle(), box->text(), static_cast<int>(box->icon())});
        // A question is answered yes.
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        (ok != nullptr ? ok : box->button(QMessageBox::Yes))->click();
        return;
    }
    if (auto* login = qobject_cast<gui::CLog*>(modal)) {
        ++loginsSeen;
        if (logins.empty()) {
            login->findChild<QPushButton*>(gui::controlName(2))->click();
            return;
        }
        auto answer = std::move(logins.front());
        logins.pop_front();
        answer(*login);
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal);
        dialog != nullptr && dialog->objectName() != "CTarvoDlg") {
        others.push_back(dialog->objectName());
        if (dialogs.empty()) {
            dialog->reject();
            return;
        }
        auto answer = std::move(dialogs.front());
        dialogs.pop_front();
        answered_ = dialog;
        answer(*dialog);
    }
}

QPoint rowCentre(gui::CTarvoDlg& window, int row) {
    auto* list = window.list();
    const QRect rect = list->visualRect(list->model()->index(row, 1));
    return rect.center();
}

int rowOf(gui::CTarvoDlg& window, const QString& address) {
    auto* model = window.list()->listModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->text(row, 1) == address) return row;
    }
    return -1;
}

void clickRow(gui::CTarvoDlg& window, int row, Qt::MouseButton button) {
    QTest::mouseClick(window.list()->viewport(), button, {}, rowCentre(window, row));
}

void clickBesideRows(gui::CTarvoDlg& window) {
    QWidget* viewport = window.list()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      QPoint(viewport->width() / 2, viewport->height() - 3));
}

void clickButton(gui::CTarvoDlg& window, int id) {
    QTest::mouseClick(window.button(id), Qt::LeftButton);
}

}  // namespace tarvo::test
