#pragma once

// Drives the real widgets from window tests: waits with the event loop running, answers the
// modal boxes and dialogs that operations open, and clicks rows of the device list.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <string_view>
#include <thread>
#include <vector>

class QDialog;
class QTimer;
class QWidget;

namespace tarvo::gui {
class CTarvoDlg;
class CLog;
}  // namespace tarvo::gui

namespace tarvo::test {

// The main window's buttons, by control id.
namespace mainButton {
inline constexpr int kSearch = 1002, kPreview = 1017, kNetwork = 1010, kParameters = 1053,
                     kUpgrade = 5, kReboot = 6, kCloud = 1025;
}  // namespace mainButton

// A QString of a UTF-16 literal, for the texts the windows show.
inline QString q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Runs the event loop until `done` holds or `limit` passed; the final value of `done`.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5));
// Runs the event loop for `duration`.
void pump(std::chrono::milliseconds duration);

// Sets the locale variables the program reads its language from, and applies that language.
void setLanguage(const char* lang);

// Watches for modal windows while alive. Message boxes are recorded and closed with OK;
// login dialogs get the next scripted answer (none left: cancelled).
class ModalDriver {
public:
    struct Box {
        QString title;
        QString text;
        int icon = 0;  // QMessageBox::Icon
    };
    using LoginAnswer = std::function<void(gui::CLog&)>;

    ModalDriver();
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    std::vector<Box> boxes;
    std::deque<LoginAnswer> logins;
    int loginsSeen = 0;
    // Other dialogs seen (object names). Each gets the next scripted answer, which must close
    // the dialog or bring up a box over it; none left: closed at once.
    std::vector<QString> others;
    using DialogAnswer = std::function<void(QDialog&)>;
    std::deque<DialogAnswer> dialogs;

    // An answer that confirms the dialog as it opened (user admin, empty password, its port).
    static LoginAnswer confirm();
    // An answer that types the port, then presses OK.
    static LoginAnswer confirmWithPort(const QString& port);

private:
    void poll();
    void act(QWidget* modal);
    QTimer* timer_;
    bool pending_ = false;
    // The dialog whose answer is still running (its OK may wait with the event loop running);
    // it gets no second answer until a box came over it or it closed.
    QPointer<QWidget> answered_;
};

// Pings the event loop of the thread that made it, every `interval`, from a thread of its own,
// as a window manager asks whether a window still answers; each ping's wait until the loop
// took it is measured. A window thread that blocks leaves its pings waiting.
class StallProbe {
public:
    explicit StallProbe(std::chrono::milliseconds interval = std::chrono::milliseconds(10));
    ~StallProbe();
    StallProbe(const StallProbe&) = delete;
    StallProbe& operator=(const StallProbe&) = delete;

    // Stops pinging, lets the pings on their way arrive, and returns the longest wait.
    std::chrono::milliseconds stop();

private:
    QObject receiver_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> outstanding_{0};
    std::chrono::steady_clock::duration longest_{};  // the window thread's
    std::thread pinger_;
};

// The centre of a row of the device list, in its viewport's coordinates.
QPoint rowCentre(gui::CTarvoDlg& window, int row);
// The row of the device list whose column 1 reads `address`, or -1.
int rowOf(gui::CTarvoDlg& window, const QString& address);
void clickRow(gui::CTarvoDlg& window, int row, Qt::MouseButton button = Qt::LeftButton);
void clickBesideRows(gui::CTarvoDlg& window);
void clickButton(gui::CTarvoDlg& window, int id);

}  // namespace tarvo::test
