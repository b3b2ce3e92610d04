#pragma once

#include <QByteArray>
#include <QString>

namespace tarvo::gui {

// What the window remembers between runs, per kind of device (camera or NVR): the user name and
// port last confirmed in the login dialog and the folder of the last firmware file chosen.
// Never a password. Kept in the application's QSettings.
class RememberedChoices {
public:
    struct Login {
        QString user;
        int port = 0;
    };

    // The last login for the kind, or `user` "admin" and `defaultPort` when none was confirmed.
    static Login login(bool nvr, int defaultPort);
    static void rememberLogin(bool nvr, const QString& user, int port);

    // Empty when no firmware file was chosen yet (the open-file dialog's own start).
    static QString firmwareFolder(bool nvr);
    static void rememberFirmwareFile(bool nvr, const QString& path);

    // The main window's size and place when it was last closed (empty: none yet).
    static QByteArray mainWindowGeometry();
    static void rememberMainWindowGeometry(const QByteArray& geometry);

    // The wall's layout (tiles per page, stream choice) and size when it was last closed:
    // tiles 0 and stream 0 and an empty geometry when none yet.
    struct Wall {
        int tilesPerPage = 0;
        int streamChoice = 0;
        QByteArray geometry;
    };
    static Wall wall();
    static void rememberWall(const Wall& wall);
};

}  // namespace tarvo::gui
