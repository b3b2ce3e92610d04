#pragma once

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QSize>
#include <QString>

namespace tarvo::gui {

// A line of text laid over a live picture: light text on a band of `background`, as wide as its
// text plus a small padding. The picture under it is repainted with every frame, and the label
// with it; so the label keeps its text drawn in an image, made again only when the text, the
// size or the font changes, and a repaint just copies that image (no text shaping per frame).
class OverlayLabel final : public QLabel {
    Q_OBJECT
public:
    OverlayLabel(QColor background, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor background_;
    QImage drawn_;
    QString drawnText_;
    QSize drawnSize_;
    qreal drawnRatio_ = 0;
    bool stale_ = true;  // font, palette or style changed since drawn_ was made
};

}  // namespace tarvo::gui
