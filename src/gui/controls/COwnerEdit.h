#pragma once

#include <QColor>
#include <QLineEdit>

#include "controls/CTrackControl.h"

namespace tarvo::gui {

// An edit field that draws its own two-pixel border: a flat sunken edge normally, a black
// outline around a green-grey ring while the mouse rests over it.
class COwnerEdit : public CTrackControl<QLineEdit> {
public:
    static constexpr int kBorder = 2;
    static const QColor kHoverColour;  // 187, 200, 143

    explicit COwnerEdit(QWidget* parent = nullptr);
    explicit COwnerEdit(const QString& contents, QWidget* parent = nullptr);

protected:
    void HoverEntered() override;
    void HoverLeft() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawBorder(QPainter& painter) const;
};

}  // namespace tarvo::gui
