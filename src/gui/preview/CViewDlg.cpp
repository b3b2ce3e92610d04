#include "preview/CViewDlg.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QScreen>
#include <QVBoxLayout>

#include <new>

#include "common/BoxNotifier.h"
#include "common/MessageBoxes.h"
#include "common/UiText.h"
#include "controls/DialogUnits.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/StreamWire.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
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

}  // namespace

CViewDlg::CViewDlg(QWidget* parent)
    : QDialog(parent), notifier_(std::make_unique<BoxNotifier>(this)) {
    setObjectName(QStringLiteral("CViewDlg"));
    setWindowTitle(uiText(kCaption));
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
    pictureCheck_.setInterval(kPictureCheckMs);
    connect(&pictureCheck_, &QTimer::timeout, this, &CViewDlg::checkPictures);
}

CViewDlg::~CViewDlg() {
    // The set-up works on the client: it ends before the client goes.
    starter_.cancelAndJoin();
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
        onInitDialog();
    }
}

void CViewDlg::onInitDialog() {
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
    // The set-up runs on a worker while the window stays responsive and says it waits; a close
    // asked for meanwhile hides the window at once (its exec() returns) and stops the client
    // once it is no longer in the middle of starting.
    starting_ = true;
    setWindowTitle(uiText(kCaption) + uiText(text::msg::kWaitingForDevice));
    starter_.start(
        [client = client_.get()] {
            client->startPreview();
            return true;
        },
        [this](bool& /*started*/) { onStarted(); });
}

void CViewDlg::release(std::unique_ptr<CViewDlg> dialog) {
    if (!dialog || !dialog->waiting()) return;
    dialog->released_ = true;
    static_cast<void>(dialog.release());  // deletes itself in onStarted
}

void CViewDlg::deleteOnceNoBoxIsOpen() {
    // A box of the set-up may still be up over this hidden window, running its own event loop
    // with the box on its caller's stack: a deletion from inside that loop would delete the box
    // under it. The window goes once the last such box is gone.
    const auto boxes = findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    if (!boxes.isEmpty()) {
        connect(boxes.front(), &QObject::destroyed, this, &CViewDlg::deleteOnceNoBoxIsOpen,
                Qt::QueuedConnection);
        return;
    }
    deleteLater();
}

void CViewDlg::onStarted() {
    starting_ = false;
    if (closePending_) {
        stopClient();
        QDialog::done(pendingResult_);
        if (released_) deleteOnceNoBoxIsOpen();
        return;
    }
    const preview::StreamReply& reply = client_->reply();
    // Without a reply, or with a size no window could have, the window keeps its designed size;
    // the pictures are scaled to it.
    if (preview::claimsUsableSize(reply)) placeWindow(reply.width, reply.height);
    // The designed title, then which device this is (several previews may be open).
    std::u16string title = client_->title() + u"  -  " + text::fromUtf8(info_.address);
    if (!deviceName_.empty()) title += u" " + deviceName_;
    setWindowTitle(dataText(title));
    // A stream that stops leaves its last picture: say so once none came for a while (counted
    // from the opening, so a stream that never brings one is told too).
    if (client_->threadsRunning()) {
        picturesSeen_ = video_->presented();
        sincePicture_.start();
        pictureCheck_.start();
    }
}

void CViewDlg::checkPictures() {
    const quint64 presented = video_->presented();
    if (presented != picturesSeen_) {
        picturesSeen_ = presented;
        sincePicture_.restart();
        video_->setNotice({});
        return;
    }
    const qint64 waited = sincePicture_.elapsed();
    if (waited < kNoPictureNoticeMs) return;
    video_->setNotice(uiText(text::msg::kPreviewNoPictureFormat).arg(waited / 1000));
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
        hide();
        return;
    }
    stopClient();
    QDialog::done(result);
}

void CViewDlg::stopClient() {
    pictureCheck_.stop();
    if (!client_) return;
    client_->stop();
    client_.reset();
}

}  // namespace tarvo::gui
