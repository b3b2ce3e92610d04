#include <QApplication>
#include <QLabel>

// The desktop program. Its main window lands with the window work; until then it says so.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Tarvo 4.6"));
    label.setWindowTitle(QStringLiteral("Tarvo"));
    label.setMinimumSize(320, 80);
    label.setAlignment(Qt::AlignCenter);
    label.show();
    return QApplication::exec();
}
