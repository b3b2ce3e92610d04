#pragma once

#include <QString>

class QWidget;

namespace tarvo::gui {

// The application's title, which plain message boxes carry.
QString applicationTitle();

// An application message box: the application's title, an OK button. Modal; returns when the
// user closed it.
void showMessage(QWidget* parent, const QString& text);
// The same box for news that is no warning (a file written): the information icon.
void showInformation(QWidget* parent, const QString& text);
// The warning box with the caption "Error" for failures of connections and of the display.
void showSystemError(QWidget* parent, const QString& text);

}  // namespace tarvo::gui
