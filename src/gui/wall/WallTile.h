#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QString>

#include <atomic>
#include <thread>
#include <vector>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/preview/CCamStreamClient.h"
#include "core/preview/PictureCheck.h"
#include "core/protocol/CCamClient.h"

class QLabel;

namespace tarvo::gui {

class VideoWidget;
class FocusMeter;
class WallWorkers;

// One camera of the wall, as the window got it.
struct WallCamera {
    std::u16string name;
    std::u16string location;
    std::string address;
    int port = 0;
    int type = 0;
};

// One tile of the wall: a camera's live picture with its name, place, address, rates and
// picture flags laid over it, and on the selected tile a focus meter. The set-up (connect,
// login, stream request) runs on a worker; a camera that cannot be reached or refuses says why
// in its tile. retire() lets the tile go at once: its stream is stopped on a worker.
class WallTile final : public QFrame {
    Q_OBJECT
public:
    // `workers` and `parent` (the wall) outlive every worker the tile starts.
    WallTile(const WallCamera& camera, int index, WallWorkers& workers, QWidget* parent);
    ~WallTile() override;

    // Starts the set-up with `info` (credentials in the device encoding), once.
    void start(const protocol::LoginInfo& info, preview::CCamStreamClient::PacketTap tap);
    // Stops the stream on a worker; the tile may be deleted right after.
    void retire();
    void setSelected(bool selected);
    // The window's clock: rates, the stalled notice, flags and the focus meter.
    void tick();

    [[nodiscard]] const WallCamera& camera() const { return camera_; }
    [[nodiscard]] int index() const { return index_; }
    [[nodiscard]] VideoWidget* video() const { return video_; }
    // Null before the start and after retire().
    [[nodiscard]] preview::CCamStreamClient* client() const;
    [[nodiscard]] preview::PictureVerdict verdict() const;
    [[nodiscard]] bool starting() const { return starting_; }
    [[nodiscard]] bool selected() const { return selected_; }
    // What the tile says over its picture: why it does not play, or that no picture came.
    [[nodiscard]] QString notice() const;
    // The picture flags shown (empty: none), and the rates line.
    [[nodiscard]] QString flagsText() const;
    [[nodiscard]] QString ratesText() const;
    [[nodiscard]] FocusMeter* focusMeter() const { return meter_; }

    static constexpr int kTickMs = 250;

signals:
    void clicked(int index);
    void doubleClicked(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Session;
    struct Started {
        bool ok = false;
        std::vector<std::u16string> why;  // catalogue texts, one per line
    };
    void onStarted(const Started& started);
    void layOut();
    void showRates();
    void showVerdict();
    void showStalled();

    WallCamera camera_;
    int index_;
    WallWorkers& workers_;
    std::shared_ptr<Session> session_;
    VideoWidget* video_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* rates_ = nullptr;
    QLabel* flags_ = nullptr;
    QLabel* notice_ = nullptr;
    FocusMeter* meter_ = nullptr;
    bool starting_ = false;
    bool playing_ = false;
    bool failed_ = false;
    bool selected_ = false;
    // Rates over the last second.
    QElapsedTimer rateClock_;
    quint64 picturesAtRate_ = 0;
    std::uint64_t bytesAtRate_ = 0;
    // The stalled notice.
    QElapsedTimer sincePicture_;
    quint64 picturesSeen_ = 0;
};

// The workers of the wall's tiles: set-ups and stops that the window does not wait for. The
// window ends only once they have (see CWallDlg::release); its destructor joins what is left.
class WallWorkers {
public:
    WallWorkers() = default;
    ~WallWorkers() { joinAll(); }
    WallWorkers(const WallWorkers&) = delete;
    WallWorkers& operator=(const WallWorkers&) = delete;

    void run(std::function<void()> work);
    [[nodiscard]] bool allEnded();
    void joinAll();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended = std::make_shared<std::atomic<bool>>(false);
    };
    std::vector<std::unique_ptr<Worker>> workers_;
};

// The selected tile's focus meter: the live sharpness against the best seen since the tile
// opened, as a bar and the two figures.
class FocusMeter final : public QWidget {
    Q_OBJECT
public:
    explicit FocusMeter(QWidget* parent);
    void setFigures(double live, double best);
    [[nodiscard]] QString text() const { return text_; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double live_ = 0;
    double best_ = 0;
    QString text_;
};

}  // namespace tarvo::gui
