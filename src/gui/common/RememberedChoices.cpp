#include "common/RememberedChoices.h"

#include <QFileInfo>
#include <QSettings>

namespace tarvo::gui {

namespace {

QString key(bool nvr, const char* name) {
    return QString::fromLatin1(nvr ? "nvr/" : "camera/") + QString::fromLatin1(name);
}

}  // namespace

RememberedChoices::Login RememberedChoices::login(bool nvr, int defaultPort) {
    const QSettings settings;
    // Only a port the login dialog could have confirmed.
    bool numeric = false;
    const int port = settings.value(key(nvr, "port")).toInt(&numeric);
    return {settings.value(key(nvr, "user"), QStringLiteral("admin")).toString(),
            numeric && port >= 5000 && port <= 6000 ? port : defaultPort};
}

void RememberedChoices::rememberLogin(bool nvr, const QString& user, int port) {
    QSettings settings;
    settings.setValue(key(nvr, "user"), user);
    settings.setValue(key(nvr, "port"), port);
}

QString RememberedChoices::firmwareFolder(bool nvr) {
    return QSettings().value(key(nvr, "firmwareFolder")).toString();
}

void RememberedChoices::rememberFirmwareFile(bool nvr, const QString& path) {
    QSettings().setValue(key(nvr, "firmwareFolder"), QFileInfo(path).absolutePath());
}

QByteArray RememberedChoices::mainWindowGeometry() {
    return QSettings().value(QStringLiteral("mainWindow/geometry")).toByteArray();
}

void RememberedChoices::rememberMainWindowGeometry(const QByteArray& geometry) {
    QSettings settings;
    settings.setValue(QStringLiteral("mainWindow/geometry"), geometry);
    // The close box ends the process at once, before QSettings would write on its own.
    settings.sync();
}

RememberedChoices::Wall RememberedChoices::wall() {
    const QSettings settings;
    return {settings.value(QStringLiteral("wall/tilesPerPage")).toInt(),
            settings.value(QStringLiteral("wall/streamChoice")).toInt(),
            settings.value(QStringLiteral("wall/geometry")).toByteArray()};
}

void RememberedChoices::rememberWall(const Wall& wall) {
    QSettings settings;
    settings.setValue(QStringLiteral("wall/tilesPerPage"), wall.tilesPerPage);
    settings.setValue(QStringLiteral("wall/streamChoice"), wall.streamChoice);
    settings.setValue(QStringLiteral("wall/geometry"), wall.geometry);
    settings.sync();
}

}  // namespace tarvo::gui
