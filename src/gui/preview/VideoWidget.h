#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

namespace tarvo::gui {

// The preview's picture area. A renderer on the decode thread hands it finished pictures of the
// size it asks for (pictureSize()); the widget paints the latest one on the window's thread.
// Handing a picture over only swaps two images under a short lock, and at most one repaint
// request waits in the event queue, so a fast stream cannot flood the window.
class VideoWidget final : public QWidget {
    Q_OBJECT
public:
    explicit VideoWidget(QWidget* parent = nullptr);

    // Any thread: the size pictures should have (the widget's size; empty while it has none).
    [[nodiscard]] QSize pictureSize() const;
    // Any thread: takes `picture` as the one to paint and gives back the previous one in its
    // place, so that the caller can reuse its memory for the next picture.
    void present(QImage& picture);

    // Window's thread: pictures handed over so far, and a copy of the one shown.
    [[nodiscard]] quint64 presented() const { return presented_.load(); }
    [[nodiscard]] QImage currentPicture() const;

    // Window's thread: a line said over the picture, which stays as it is (empty: none).
    void setNotice(const QString& text);
    [[nodiscard]] const QString& notice() const { return notice_; }

    // Window's thread: called after each paint with the picture just painted (null when the
    // widget was painted black); for measuring the preview.
    using PaintObserver = std::function<void(const QImage& painted)>;
    void setPaintObserver(PaintObserver observer) { paintObserver_ = std::move(observer); }

private slots:
    void repaintPicture();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    mutable std::mutex mutex_;
    QImage shown_;  // guarded by mutex_
    QSize target_;  // guarded by mutex_
    std::atomic<bool> repaintPending_{false};
    std::atomic<quint64> presented_{0};
    PaintObserver paintObserver_;  // window's thread only
    QString notice_;               // window's thread only
};

}  // namespace tarvo::gui
