#pragma once

#include <QColor>
#include <QProgressBar>

class QPainter;

namespace tarvo::gui {

// A progress bar that paints its filled part as colour bands running from a start colour
// towards an end colour. The bands are laid out over the whole width and cut where the filled
// part ends, so the bar grows in whole bands; the rest shows the background colour, and the
// percentage can be written across the middle.
//
// Range and position live in the QProgressBar base, so the bar can be driven through a
// QProgressBar pointer (setRange/setValue/setTextVisible) as well as through SetRange/SetPos.
// It shows progress only strictly between the ends of its range: at the lower end, at the
// upper end (a finished bar reads as empty) and outside the range it shows plain button face.
class CGradientProgressCtrl : public QProgressBar {
public:
    struct Colours {
        QColor start;
        QColor end;
        QColor background;
        QColor text;
    };
    // The look of the firmware upload windows: red to green on purple, black percentage.
    static Colours upgradeColours();

    explicit CGradientProgressCtrl(QWidget* parent = nullptr);
    // A bar with its colours set and the percentage shown, as the upload windows use it.
    CGradientProgressCtrl(const Colours& colours, QWidget* parent);

    // Stores the range and moves the position to `lower`.
    void SetRange(int lower, int upper);
    // A position outside the range is kept as "no progress" (plain face).
    void SetPos(int position);
    // QProgressBar's names for the same operations.
    void setRange(int lower, int upper) { SetRange(lower, upper); }
    void setValue(int position) { SetPos(position); }

    void setStartColour(const QColor& colour);
    void setEndColour(const QColor& colour);
    void setBkColour(const QColor& colour);
    void setTextColour(const QColor& colour);
    void setShowPercentage(bool show) { setTextVisible(show); }

    [[nodiscard]] QColor startColour() const { return start_; }
    [[nodiscard]] QColor endColour() const { return end_; }
    [[nodiscard]] QColor bkColour() const { return background_; }
    [[nodiscard]] QColor textColour() const { return textColour_; }

    // The width of the filled part (before it is rounded up to a band edge) and the
    // percentage written, for position `position` of lower..upper on a bar `width` wide.
    static int fillWidth(int lower, int upper, int position, int width);
    static int percentage(int lower, int upper, int position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawBands(QPainter& target, const QRect& client, int fill) const;

    QColor start_{255, 0, 0};
    QColor end_{0, 0, 255};
    QColor background_;
    QColor textColour_{255, 255, 255};
};

}  // namespace tarvo::gui
