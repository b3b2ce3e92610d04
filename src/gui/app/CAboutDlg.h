#pragma once

#include <QDialog>

namespace tarvo::gui {

// The About box: icon, name and version, OK.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tarvo::gui
