#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QMargins>
#include <QRect>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "common/BackgroundStep.h"
#include "core/protocol/CCamClient.h"
#include "core/text/Notifier.h"

namespace tarvo::preview {
class CCamStreamClient;
}

namespace tarvo::gui {

class VideoWidget;

// The preview window: a device's live video. On opening it starts a stream client that draws
// into the window's video widget, titles the window with the picture size and codec, and fits
// the window to the picture (within the screen, centred). Closing it in any way (close box,
// Enter, Esc) stops the client first; no thread of it outlives the window.
class CViewDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CViewDlg(QWidget* parent = nullptr);
    ~CViewDlg() override;

    // Before the window opens. Address, user and password in the device's text encoding, as
    // the login step narrowed them; `stream` is the StreamChoice, `type` the device type code.
    void SetConnectInfo(const std::string& address, int port, const std::string& user,
                        const std::string& password, int stream, int type);
    // Before the window opens: the device's name as listed, for the title.
    void setDeviceName(const std::u16string& name) { deviceName_ = name; }

    // How long without a new picture before the window says so over the last one.
    static constexpr int kNoPictureNoticeMs = 3000;

    // Before the window opens: called on the decode thread with every packet of the stream
    // (type, header, payload), as the stream client's packet tap; for measuring the preview.
    using PacketTap = std::function<void(int type, std::span<const std::uint8_t> header,
                                         std::span<const std::uint8_t> payload)>;
    void setPacketTap(PacketTap tap) { tap_ = std::move(tap); }

    // Starts the preview; runs once, when the window first shows.
    void onInitDialog();

    // Null before the window opened and after it closed.
    [[nodiscard]] preview::CCamStreamClient* client() const { return client_.get(); }
    [[nodiscard]] VideoWidget* video() const { return video_; }
    [[nodiscard]] const protocol::LoginInfo& connectInfo() const { return info_; }

    // Ends a window whose exec() returned: at once, or, while its set-up still runs, once that
    // has ended on its own (the window is hidden already and takes nothing more).
    static void release(std::unique_ptr<CViewDlg> dialog);

    // True while the stream is being set up.
    [[nodiscard]] bool waiting() const { return starter_.running(); }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void placeWindow(int videoWidth, int videoHeight);
    // Sets the inner geometry so that the outer one, frame included, is placement_.
    void applyPlacement();
    void checkFrame();
    [[nodiscard]] QMargins frameMargins() const;
    void stopClient();
    // Says over the picture when none came for kNoPictureNoticeMs.
    void checkPictures();
    // The stream set-up has ended on its worker.
    void onStarted();
    void deleteOnceNoBoxIsOpen();

    protocol::LoginInfo info_;
    std::u16string deviceName_;
    std::unique_ptr<text::Notifier> notifier_;
    std::unique_ptr<preview::CCamStreamClient> client_;
    PacketTap tap_;
    VideoWidget* video_ = nullptr;
    bool initialised_ = false;
    bool starting_ = false;
    // Connect, login and the stream reply run here, off the window's thread.
    BackgroundStep<bool> starter_{this};
    bool closePending_ = false;
    bool released_ = false;  // deletes itself once the set-up has ended
    int pendingResult_ = 0;
    // The outer rectangle the window is to have, and the frame it was last fitted with: the
    // window system frames the window only after it is shown, and the placement is made again
    // once the frame is known (or changes).
    static constexpr int kFramePollMs = 50;
    static constexpr int kFramePolls = 60;
    QRect placement_;
    QMargins placedFrame_;
    QTimer framePoll_;
    int framePolls_ = 0;
    static constexpr int kPictureCheckMs = 250;
    QTimer pictureCheck_;
    QElapsedTimer sincePicture_;
    quint64 picturesSeen_ = 0;
};

}  // namespace tarvo::gui
