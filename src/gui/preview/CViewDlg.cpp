#include "preview/CViewDlg.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QScreen>
#include <QVBoxLayout>

#include <new>

#include "app/MessageBoxes.h"
#include "controls/DialogUnits.h"
#include "controls/UiText.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/StreamWire.h"
#include "preview/SwsImageRenderer.h"
#include "preview/VideoWidget.h"

namespace tarvo::gui {

namespace {

// Dialog 133.
constexpr const char16_t* kCaption = u"预览图像";
constexpr const char* kFont = "System";
constexpr int kFontPoints = 10;
constexpr int kWidth = 363;
constexpr int kHeight = 249;

// The client reports from the window's thread only (while it sets the stream up), so its
// messages are plain boxes over the preview.
class BoxNotifier final : public text::Notifier {
public:
    explicit BoxNotifier(QWidget* parent) : parent_(parent) {}
    void message(std::u16string_view text) override { showMessage(parent_, uiText(text)); }
    void systemError(std::u16string_view text) override { showSystemError(parent_, uiText(text)); }

private:
    QWidget* parent_;
};

}  // namespace

CViewDlg::CViewDlg(QWidget* parent)
    : QDialog(parent), notifier_(std::make_unique<BoxNotifier>(this)) {
    setObjectName(QStringLiteral("CViewDlg"));
    setWindowTitle(templateText(kCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(dialogFont(kFont, kFontPoints));
    resize(DialogUnits(font()).size(kWidth, kHeight));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    video_ = new VideoWidget(this);
    layout->addWidget(video_);
    framePoll_.setInterval(kFramePollMs);
    connect(&framePoll_, &QTimer::timeout, this, &CViewDlg::checkFrame);
}

CViewDlg::~CViewDlg() {
    // Before the video widget goes: the decode thread draws into it.
    stopClient();
}

void CViewDlg::SetConnectInfo(const std::string& address, int port, const std::string& user,
                              const std::string& password, int stream, int type) {
    info_.address = address;
    info_.port = static_cast<std::uint16_t>(port);
    info_.user = user;
    info_.password = password;
    info_.streamChoice = stream;
    info_.deviceType = type;
}

void CViewDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
}

void CViewDlg::OnInitDialog() {
    initialised_ = true;
    try {
        client_ = std::make_unique<preview::CCamStreamClient>(
            info_, *notifier_, std::make_unique<SwsImageRenderer>(), video_);
    } catch (const std::bad_alloc&) {
        // The client carries its packet ring; without the memory for it there is no preview.
        showMessage(this, QStringLiteral("Error"));
        QMetaObject::invokeMethod(this, &CViewDlg::reject, Qt::QueuedConnection);
        return;
    }
    if (tap_) client_->setPacketTap(tap_);
    // A box the set-up shows runs an event loop; a close asked for meanwhile waits until the
    // client is no longer in the middle of starting.
    starting_ = true;
    client_->startPreview();
    starting_ = false;
    if (closePending_) {
        QMetaObject::invokeMethod(
            this, [this, result = pendingResult_] { done(result); }, Qt::QueuedConnection);
        return;
    }
    const preview::StreamReply& reply = client_->reply();
    // Without a reply, or with a size no window could have, the window keeps its designed size;
    // the pictures are scaled to it.
    if (preview::claimsUsableSize(reply)) placeWindow(reply.width, reply.height);
    setWindowTitle(dataText(client_->title()));
}

void CViewDlg::placeWindow(int videoWidth, int videoHeight) {
    const QScreen* display = screen();
    if (display == nullptr) return;
    const QRect area = display->geometry();
    const preview::WindowPlacement place =
        preview::placeOnScreen(videoWidth, videoHeight, area.width(), area.height());
    // The placement is the outer rectangle, frame included, as the window manager draws it.
    placement_ = QRect(area.left() + place.left, area.top() + place.top, place.width, place.height);
    applyPlacement();
}

QMargins CViewDlg::frameMargins() const {
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

void CViewDlg::applyPlacement() {
    placedFrame_ = frameMargins();
    setGeometry(placement_.marginsRemoved(placedFrame_));
    // A window manager frames the window only after it is mapped, and says so by no event of
    // its own: look for the frame for a while, and fit the placement to it once it is there.
    if (!framePoll_.isActive() && framePolls_ == 0) framePoll_.start();
}

void CViewDlg::checkFrame() {
    if (++framePolls_ >= kFramePolls) framePoll_.stop();
    if (frameMargins() != placedFrame_) applyPlacement();
}

void CViewDlg::keyPressEvent(QKeyEvent* event) {
    // The window has no buttons: Enter closes it as Esc does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CViewDlg::done(int result) {
    if (starting_) {
        closePending_ = true;
        pendingResult_ = result;
        return;
    }
    stopClient();
    QDialog::done(result);
}

void CViewDlg::stopClient() {
    if (!client_) return;
    client_->stop();
    client_.reset();
}

}  // namespace tarvo::gui
