#pragma once

#include <QString>
#include <Qt>

#include "common/UiText.h"
#include "controls/DialogUnits.h"

class QDialog;
class QLabel;
class QLineEdit;
class QWidget;

namespace tarvo::gui {

class CXPButton;

// What a dialog template says of the window itself.
struct DialogFrame {
    const char* objectName;
    const char16_t* caption;
    const char* font;
    int points;
    int width;  // dialog units
    int height;
};

// Lays a dialog out from its template: the frame (title, title-bar buttons, font, fixed size),
// then controls placed in the dialog's units and named by their ids, so that tests and tools
// find a control by id.
class DialogBuilder {
public:
    DialogBuilder(QDialog& dialog, const DialogFrame& frame);

    [[nodiscard]] const DialogUnits& units() const { return units_; }

    // Names `widget` after the control and gives it the control's rectangle.
    void place(QWidget* widget, const tmpl::Control& control) const;

    // A new Widget of the dialog, placed.
    template <typename Widget>
    Widget* add(const tmpl::Control& control) const {
        auto* widget = new Widget(parent());
        place(widget, control);
        return widget;
    }

    // A new Widget of the dialog showing the control's text (a check box, a radio button), placed.
    template <typename Widget>
    Widget* addWithText(const tmpl::Control& control) const {
        auto* widget = new Widget(uiText(control.text), parent());
        place(widget, control);
        return widget;
    }

    // A plain edit that only shows a value: read-only, on the dialog's face colour.
    QLineEdit* readOnlyEdit(const tmpl::Control& control) const;

    // A label with the control's text, named when the control has an id. With an alignment,
    // the text keeps to the top of its rectangle, aligned that way across it.
    QLabel* label(const tmpl::Control& control, Qt::Alignment alignment = {}) const;

    // An owner-drawn push button with the control's text.
    CXPButton* button(const tmpl::Control& control) const;

private:
    [[nodiscard]] QWidget* parent() const;

    QDialog& dialog_;
    DialogUnits units_;
};

}  // namespace tarvo::gui
