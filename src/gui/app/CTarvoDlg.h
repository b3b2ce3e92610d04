#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>
#include <memory>

#include "common/BoxNotifier.h"
#include "core/discovery/DeviceTable.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/ops/forms/UdpSession.h"
#include "core/ops/presenter/Dialogs.h"
#include "core/ops/presenter/MainPresenter.h"
#include "core/text/Notifier.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace tarvo::gui {

class CIPCamConfigDlg;
class CSetNet;
class CSetOstra;
class CSortListCtrl;
class SiteListState;
class SearchStatusLine;
struct WallCamera;

// The main window: the device list, the selection and every device operation. It shows the
// dialogs and message boxes the operations ask for; the operations themselves are the
// presenter's.
class CTarvoDlg final : public QDialog,
                        public ops::Dialogs,
                        public text::Notifier,
                        public ops::SettingsDialogs {
    Q_OBJECT
public:
    struct Options {
        // MAC lookup of discovered devices; the system's when null.
        net::MacResolver* macResolver = nullptr;
        // Opens the device's web page; the desktop's browser when empty.
        std::function<void(const QUrl&)> urlOpener;
        // Interfaces to search on; every local one when empty.
        std::vector<net::LocalInterface> interfaces;
    };

    explicit CTarvoDlg(QWidget* parent = nullptr);
    CTarvoDlg(Options options, QWidget* parent);
    ~CTarvoDlg() override;

    // Texts, list columns, sockets and the first search. Runs once, before the window shows.
    void onInitDialog();

    // ops::Dialogs
    ops::LoginDialogResult runLogin(int port, bool nvrMode) override;
    void openUrl(std::u16string_view url) override;
    void waitMs(int milliseconds) override;  // also the settings sequences' waits
    std::optional<protocol::Outcome> runNetworkStep(
        std::function<protocol::Outcome()> step) override;
    void runCameraUpgrade(const std::string& address, int port) override;
    void runNvrUpgrade(const std::string& address, int port) override;
    void runNvrConfig(const std::string& address, int port) override;
    void runPreview(const protocol::LoginInfo& target) override;

    // ops::SettingsDialogs: the three long-lived settings dialogs.
    bool runNetSettings(ops::NetSettingsForm& form, const NetCheck& check) override;
    bool runCameraConfig(ops::CameraConfigForm& form) override;
    std::optional<ops::CloudEntry> runCloudSettings(const ops::CloudForm& form) override;

    // text::Notifier: from any thread; other threads hand the box to the window and go on.
    void message(std::u16string_view text) override;
    void systemError(std::u16string_view text) override;

    void showAbout();

    [[nodiscard]] ops::MainPresenter& presenter() { return *presenter_; }
    [[nodiscard]] discovery::DiscoveryEngine& engine() { return engine_; }
    [[nodiscard]] discovery::DeviceTable& table() { return table_; }
    [[nodiscard]] CSortListCtrl* list() const { return list_; }
    [[nodiscard]] QPushButton* button(int id) const;
    [[nodiscard]] QMenu* contextMenu() const { return contextMenu_; }
    // The context menu's "Wall…", shown when several cameras are selected.
    [[nodiscard]] QAction* wallAction() const { return wallAction_; }
    [[nodiscard]] QMenu* windowMenu() const { return windowMenu_; }
    [[nodiscard]] CSetNet* netDialog() const { return setNet_; }
    [[nodiscard]] CIPCamConfigDlg* cameraDialog() const { return camConfig_; }
    [[nodiscard]] CSetOstra* cloudDialog() const { return setOstra_; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    // The "Site" submenu: the site window and its steps.
    void addSiteMenu(QMenu& menu);
    void onLeftClick(int row);
    void onRightClick(int row, QPoint globalPosition);
    void onKeyboardMenu(int row, QPoint globalPosition);
    void onDoubleClick(int row);
    // The cameras among the rows selected, top to bottom (port not yet chosen).
    [[nodiscard]] std::vector<WallCamera> selectedCameras() const;
    // Asks for the login once, then shows the wall of `cameras`.
    void runWall(std::vector<WallCamera> cameras);
    void rememberGeometry();

    Options options_;
    std::unique_ptr<net::MacResolver> ownResolver_;
    discovery::DeviceTable table_;
    discovery::DiscoveryEngine engine_;
    ops::EngineSearch search_;
    std::unique_ptr<ops::MainPresenter> presenter_;
    ops::EngineSession session_;
    std::unique_ptr<ops::SettingsFlows> settings_;
    CSetNet* setNet_ = nullptr;
    CIPCamConfigDlg* camConfig_ = nullptr;
    CSetOstra* setOstra_ = nullptr;

    CSortListCtrl* list_ = nullptr;
    QLabel* note_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QAction* wallAction_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    bool initialised_ = false;
    BoxNotifier boxes_{this};

public:
    // The list's states against the window's site; null before onInitDialog.
    [[nodiscard]] SiteListState* siteList() const { return siteList_; }
    // Opens the site window showing the devices of one state (0: all).
    void showSite(int filter);

private:
    void showSiteTitle();
    void fitSiteColumn();
    SiteListState* siteList_ = nullptr;

public:
    [[nodiscard]] SearchStatusLine* searchStatus() const { return searchStatus_; }

private:
    // The line beside the note: what the last search met.
    void buildSearchStatus(const QLabel& note);
    SearchStatusLine* searchStatus_ = nullptr;
};

}  // namespace tarvo::gui
