#pragma once

#include <QApplication>

namespace tarvo::gui {

// The application: runs the main window modally for the whole life of the program.
class CTarvoApp final : public QApplication {
    Q_OBJECT
public:
    CTarvoApp(int& argc, char** argv);

    // Shows the main window until it ends; the process's exit code.
    int initInstance();
};

}  // namespace tarvo::gui
