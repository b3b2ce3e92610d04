#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include "resources/Templates.h"

namespace tarvo::gui {

// A dialog's font: the designed face first, then a CJK face so that Chinese texts render with
// real glyphs wherever the designed face is missing or lacks them.
QFont dialogFont(const char* family, int points);

// Maps dialog units to pixels from a dialog's font: x by the average character width / 4,
// y by the character height / 8, rounded like the dialog manager does.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    [[nodiscard]] int x(int units) const;
    [[nodiscard]] int y(int units) const;
    [[nodiscard]] QRect rect(const tmpl::Rect& r) const;
    [[nodiscard]] QSize size(int width, int height) const;
    [[nodiscard]] int baseWidth() const { return baseWidth_; }
    [[nodiscard]] int baseHeight() const { return baseHeight_; }

private:
    int baseWidth_;
    int baseHeight_;
};

// Object names of controls, so that tests and tools find a control by id.
QString controlName(int id);

}  // namespace tarvo::gui
