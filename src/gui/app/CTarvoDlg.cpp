#include "app/CTarvoDlg.h"

#include "common/BackgroundStep.h"
#include "common/UiWait.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/SearchStatusLine.h"
#include "app/SiteListState.h"
#include "common/RememberedChoices.h"
#include "common/UiText.h"
#include "controls/CSortListCtrl.h"
#include "controls/CXPButton.h"
#include "controls/DialogUnits.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DeviceTypes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/UiTextTable.h"
#include "dialogs/CBatchAddressDlg.h"
#include "dialogs/CIPCamConfigDlg.h"
#include "dialogs/CLog.h"
#include "dialogs/CSetNet.h"
#include "dialogs/CSetOstra.h"
#include "dialogs/CSiteDlg.h"
#include "dialogs/CSiteVerifyDlg.h"
#include "dialogs/DeviceListExport.h"
#include "preview/CViewDlg.h"
#include "upgrade/CBatchUpgradeDlg.h"
#include "upgrade/CNVRConfigDlg.h"
#include "upgrade/CNVRUpgradeDlg.h"
#include "upgrade/CUpGrade.h"
#include "wall/CWallDlg.h"

namespace tarvo::gui {

namespace tMain = tmpl::main;

namespace {

// The presenter's exchanges run on workers that a cancelled wait leaves behind: they use this
// one, which outlives every window (and the workers, joined before it goes).
ops::DeviceActions& networkActions() {
    static ops::NetworkDeviceActions actions;
    return actions;
}

}  // namespace

CTarvoDlg::CTarvoDlg(QWidget* parent) : CTarvoDlg(Options{}, parent) {}

CTarvoDlg::CTarvoDlg(Options options, QWidget* parent)
    : QDialog(parent),
      options_(std::move(options)),
      ownResolver_(options_.macResolver != nullptr ? nullptr
                                                   : std::make_unique<net::SystemMacResolver>()),
      engine_(table_, options_.macResolver != nullptr ? *options_.macResolver : *ownResolver_,
              *this),
      search_(engine_),
      presenter_(std::make_unique<ops::MainPresenter>(*this, *this, search_, networkActions())),
      session_(engine_),
      settings_(std::make_unique<ops::SettingsFlows>(
          *this, session_, *this,
          // The camera's version, asked before its configuration opens, off the window's thread.
          [this](std::string_view address, std::uint16_t port, std::u16string& version) {
              struct Asked {
                  protocol::Outcome outcome;
                  std::u16string version;
              };
              const auto asked = waitOffThread<Asked>([target = std::string(address), port] {
                  Asked a;
                  a.outcome = protocol::checkCameraVersion(target, port, a.version);
                  return a;
              });
              using Result = ops::SettingsFlows::VersionAsked;
              if (!asked) return Result::Cancelled;  // Esc: the configuration does not open
              version = asked->version;
              return asked->outcome.report(*this) ? Result::Answered : Result::Failed;
          })) {
    if (!options_.urlOpener)
        options_.urlOpener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    presenter_->setSettings(settings_.get());
    build();
}

CTarvoDlg::~CTarvoDlg() {
    // No receive thread may reach the list or this window once they start going away.
    engine_.closeInterfaces();
    list_->detach();
}

void CTarvoDlg::build() {
    // The template's texts are shown translated from the first: the language is chosen now.
    applyUiLanguage();
    setObjectName(QStringLiteral("CTarvoDlg"));
    setWindowTitle(uiText(tMain::kCaption));
    setWindowIcon(appIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setFont(dialogFont(tMain::kFont, tMain::kFontPoints));
    const DialogUnits du(font());
    // The template's size is where the window starts and the least it shrinks to; the list
    // takes whatever it grows by.
    setMinimumSize(du.size(tMain::kWidth, tMain::kHeight));
    resize(minimumSize());

    const std::pair<int, void (ops::MainPresenter::*)()> handlers[] = {
        {tMain::kSearch, &ops::MainPresenter::search},
        {tMain::kPreview, &ops::MainPresenter::preview},
        {tMain::kNetwork, &ops::MainPresenter::networkSettings},
        {tMain::kParameters, &ops::MainPresenter::parameterConfiguration},
        {tMain::kUpgrade, &ops::MainPresenter::upgrade},
        {tMain::kReboot, &ops::MainPresenter::reboot},
        {tMain::kCloud, &ops::MainPresenter::cloudSettings},
    };
    for (const auto& c : tMain::kButtons) {
        auto* b = new CXPButton(uiText(c.text), this);
        b->setObjectName(controlName(c.id));
        b->setGeometry(du.rect(c.rect));
        b->setAutoDefault(false);
        for (const auto& [id, handler] : handlers) {
            if (id == c.id)
                connect(b, &QPushButton::clicked, this,
                        [this, h = handler] { ((*presenter_).*h)(); });
        }
        if (c.id == tMain::kSearch) b->setDefault(true);
    }
    for (const auto& c : tMain::kHidden) {
        auto* b = new CXPButton(uiText(c.text), this);
        b->setObjectName(controlName(c.id));
        b->setGeometry(du.rect(c.rect));
        b->setAutoDefault(false);
        b->setEnabled(false);
        b->hide();
    }

    list_ = new CSortListCtrl(this);
    list_->setObjectName(controlName(tMain::kList));
    list_->setGeometry(du.rect(tMain::kListRect));
    list_->setBaseWidth(du.rect(tMain::kListRect).width());
    list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    connect(list_, &CSortListCtrl::leftClicked, this, &CTarvoDlg::onLeftClick);
    connect(list_, &CSortListCtrl::rightClicked, this, &CTarvoDlg::onRightClick);
    connect(list_, &CSortListCtrl::keyboardMenu, this, &CTarvoDlg::onKeyboardMenu);
    connect(list_, &CSortListCtrl::doubleClickedRow, this, &CTarvoDlg::onDoubleClick);

    note_ = new QLabel(uiText(tMain::kNote.text), this);
    note_->setGeometry(du.rect(tMain::kNote.rect));
    note_->adjustSize();
    buildSearchStatus(*note_);
    restoreGeometry(RememberedChoices::mainWindowGeometry());

    // The About entry. This platform's title bars have no menu to extend, so it sits on the
    // window's own context menu (right click beside the list) and on F1.
    windowMenu_ = new QMenu(this);
    windowMenu_->setObjectName(QStringLiteral("windowMenu"));
    QAction* about = windowMenu_->addAction(uiText(tMain::kAboutItem));
    connect(about, &QAction::triggered, this, &CTarvoDlg::showAbout);

    // Built once and reused for every device, as the sequences refill them before each opening.
    setNet_ = new CSetNet(this);
    camConfig_ = new CIPCamConfigDlg(session_, this);
    setOstra_ = new CSetOstra(this);
}

void CTarvoDlg::onInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    applyUiLanguage();
    engine_.setIgnoreReplies(true);
    setWindowTitle(uiText(tMain::kTitle));

    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("menu129"));
    QAction* modify = contextMenu_->addAction(uiText(tMain::kMenuModifyText));
    modify->setData(tMain::kMenuModify);
    connect(modify, &QAction::triggered, this, [this] { presenter_->networkSettings(); });
    connect(contextMenu_->addAction(uiText(u"导出列表…")), &QAction::triggered, this,
            [this] { exportDeviceList(this, table_); });
    connect(contextMenu_->addAction(uiText(u"批量修改IP…")), &QAction::triggered, this, [this] {
        CBatchAddressDlg dialog(table_.rows(), this);
        dialog.exec();
        // Moved devices would stay listed at their old addresses beside the new rows.
        if (dialog.changedAddresses()) session_.startSearch();
    });
    QAction* batch = contextMenu_->addAction(uiText(text::msg::kBatchUpgradeMenu));
    connect(batch, &QAction::triggered, this, [this] {
        CBatchUpgradeDlg(CBatchUpgradeDlg::devicesOf(table_, presenter_->selectedAddress()), this)
            .exec();
    });
    wallAction_ = contextMenu_->addAction(uiText(text::msg::kWallMenu));
    wallAction_->setObjectName(QStringLiteral("wallAction"));
    connect(wallAction_, &QAction::triggered, this, [this] { runWall(selectedCameras()); });
    siteList_ = new SiteListState(table_, *list_, &CSiteDlg::currentSitePath, this);
    connect(siteList_, &SiteListState::siteChanged, this, &CTarvoDlg::showSiteTitle);
    connect(siteList_, &SiteListState::siteChanged, this, &CTarvoDlg::fitSiteColumn);
    connect(siteList_, &SiteListState::siteChanged, this, [this] {
        const QString state = siteList_->filterText();
        list_->setEmptyText(state.isEmpty() ? QString()
                                            : uiText(text::msg::kSiteFilterEmptyFormat).arg(state));
    });
    connect(siteList_, &SiteListState::missingWanted, this,
            [this] { showSite(SiteListState::kMissing); });
    connect(siteList_, &SiteListState::selectionHidden, this, [this] { onLeftClick(-1); });
    addSiteMenu(*contextMenu_);
    addSiteMenu(*windowMenu_);

    const auto& texts = text::uiText();
    const QString headers[] = {uiText(text::fieldView(texts.colSeq)),
                               uiText(text::fieldView(texts.colIpAddress)),
                               uiText(u"mac地址"),
                               uiText(text::fieldView(texts.colName)),
                               uiText(text::fieldView(texts.colNote)),
                               uiText(u"类型")};
    const int widths[] = {50, 130, 160, 80, 150, 50};
    list_->attach(table_);
    for (int c = 0; c < discovery::kColumnCount; ++c) list_->insertColumn(c, headers[c], widths[c]);

    if (options_.interfaces.empty()) {
        engine_.openInterfaces();
    } else {
        engine_.openInterfaces(options_.interfaces);
    }
    engine_.startSearch();
    // The last site comes back, read off this thread: it may be busy in another program.
    siteList_->reload();
}

void CTarvoDlg::addSiteMenu(QMenu& menu) {
    QMenu* site = menu.addMenu(uiText(u"现场"));
    site->setObjectName(QStringLiteral("siteMenu"));
    // Each entry opens the site window (with the last site) and starts there.
    const std::pair<const char16_t*, void (CSiteDlg::*)()> entries[] = {
        {u"现场…", nullptr},
        {u"新建…", &CSiteDlg::chooseNewSite},
        {u"打开…", &CSiteDlg::chooseSite},
        {u"导入地址计划…", &CSiteDlg::choosePlan},
        {u"应用", &CSiteDlg::apply},
        {text::msg::kReportMenu.data(), &CSiteDlg::chooseReport}};
    for (const auto& entry : entries) {
        const auto step = entry.second;
        connect(site->addAction(uiText(entry.first)), &QAction::triggered, this, [this, step] {
            CSiteDlg dialog([this] { return table_.rows(); }, this);
            if (step != nullptr) (dialog.*step)();
            dialog.exec();
            // Devices the site moved would stay listed at their old addresses.
            session_.startSearch();
            siteList_->reload();
        });
    }
    connect(site->addAction(uiText(u"验证…")), &QAction::triggered, this,
            [this] { CSiteVerifyDlg(table_.rows(), CSiteDlg::currentSitePath(), this).exec(); });
    QMenu* filters = site->addMenu(uiText(text::msg::kSiteFilterMenu));
    filters->setObjectName(QStringLiteral("siteFilterMenu"));
    for (QAction* action : siteList_->filterActions()) filters->addAction(action);
}

void CTarvoDlg::showSite(int filter) {
    CSiteDlg dialog([this] { return table_.rows(); }, this);
    dialog.setFilter(filter);
    dialog.exec();
    session_.startSearch();
    siteList_->reload();
}

// The site's state is a column beyond the template's, which fill its list: a window still at the
// template's width grows by that column (as far as the screen allows) rather than cut it.
void CTarvoDlg::fitSiteColumn() {
    if (list_->listModel()->columnCount() <= discovery::kColumnCount) return;
    if (width() != minimumWidth() || isMaximized()) return;  // the installer's own size stays
    const int wanted = minimumWidth() + list_->columnWidth(discovery::kColumnCount);
    const int room = screen() != nullptr ? screen()->availableGeometry().width() : wanted;
    resize(std::max(minimumWidth(), std::min(wanted, room)), height());
}

void CTarvoDlg::showSiteTitle() {
    const QString title = uiText(tMain::kTitle);
    const QString& name = siteList_->siteName();
    QString shown = name.isEmpty() ? title : uiText(text::msg::kSiteTitleFormat).arg(title, name);
    // A list that shows only some devices says so where the eye looks first.
    if (!siteList_->filterText().isEmpty())
        shown = uiText(text::msg::kSiteFilteredFormat).arg(shown, siteList_->filterText());
    setWindowTitle(shown);
}

QPushButton* CTarvoDlg::button(int id) const {
    return findChild<QPushButton*>(controlName(id));
}

ops::LoginDialogResult CTarvoDlg::runLogin(int port, bool nvrMode) {
    CLog dialog(port, this);
    dialog.SetNvrMode(nvrMode ? 1 : 0);
    dialog.setNvrDevice(presenter_->selectedType() == discovery::kTypeNvr);
    ops::LoginDialogResult result;
    if (dialog.exec() != QDialog::Accepted) return result;
    result.accepted = true;
    result.user = dialog.userName.toStdU16String();
    result.password = dialog.password.toStdU16String();
    result.port = dialog.GetPort();
    result.streamChoice = dialog.StreamChoice;
    return result;
}

void CTarvoDlg::openUrl(std::u16string_view url) {
    options_.urlOpener(QUrl(dataText(url)));
}

void CTarvoDlg::waitMs(int milliseconds) {
    waitRepainting(milliseconds);
}

std::optional<protocol::Outcome> CTarvoDlg::runNetworkStep(
    std::function<protocol::Outcome()> step) {
    return waitOffThread<protocol::Outcome>(std::move(step));
}

void CTarvoDlg::runCameraUpgrade(const std::string& address, int port) {
    CUpGrade dialog(this);
    dialog.SetTarget(port, address);
    dialog.exec();
}

void CTarvoDlg::runNvrUpgrade(const std::string& address, int port) {
    CNVRUpgradeDlg dialog(this);
    dialog.SetTarget(port, address);
    dialog.exec();
}

void CTarvoDlg::runNvrConfig(const std::string& address, int port) {
    CNVRConfigDlg dialog(this);
    dialog.SetTarget(address, port);
    dialog.exec();
}

void CTarvoDlg::runPreview(const protocol::LoginInfo& target) {
    auto dialog = std::make_unique<CViewDlg>(this);
    dialog->SetConnectInfo(target.address, target.port, target.user, target.password,
                           target.streamChoice, target.deviceType);
    for (const discovery::DeviceRow& row : table_.rows())
        if (row.address == text::fromUtf8(target.address)) dialog->setDeviceName(row.name);
    dialog->exec();
    // Closed during its stream set-up, it goes once the set-up ended, without the window
    // waiting for it.
    CViewDlg::release(std::move(dialog));
}

bool CTarvoDlg::runNetSettings(ops::NetSettingsForm& form, const NetCheck& check) {
    if (!form.recordAnswered()) {
        message(text::msg::kNetParamsUnanswered);
        return false;
    }
    return setNet_->run(form, check);
}

bool CTarvoDlg::runCameraConfig(ops::CameraConfigForm& form) {
    return camConfig_->run(form);
}

std::optional<ops::CloudEntry> CTarvoDlg::runCloudSettings(const ops::CloudForm& form) {
    return setOstra_->run(form);
}

void CTarvoDlg::message(std::u16string_view text) {
    boxes_.message(text);
}

void CTarvoDlg::systemError(std::u16string_view text) {
    boxes_.systemError(text);
}

void CTarvoDlg::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CTarvoDlg::onLeftClick(int row) {
    const auto previewEnabled = presenter_->leftClick(list_->rowHit(row));
    if (previewEnabled) button(tMain::kPreview)->setEnabled(*previewEnabled);
}

void CTarvoDlg::onRightClick(int row, QPoint globalPosition) {
    if (presenter_->rightClick(list_->rowHit(row)) && contextMenu_ != nullptr) {
        wallAction_->setVisible(selectedCameras().size() >= 2);
        contextMenu_->exec(globalPosition);
        return;
    }
    // A list that shows no row (nothing found, or a filter that leaves nothing) offers the
    // window's own menu there: the site and its filter stay within reach.
    if (row < 0 && list_->showsNoRow()) windowMenu_->exec(globalPosition);
}

void CTarvoDlg::onKeyboardMenu(int row, QPoint globalPosition) {
    if (row >= 0) {
        onRightClick(row, globalPosition);
    } else {
        windowMenu_->exec(globalPosition);
    }
}

void CTarvoDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (list_ == nullptr) return;
    const DialogUnits du(font());
    const QSize grown = size() - du.size(tMain::kWidth, tMain::kHeight);
    const QRect list = du.rect(tMain::kListRect);
    list_->setGeometry(list.adjusted(0, 0, grown.width(), grown.height()));
    const QRect note = du.rect(tMain::kNote.rect);
    note_->move(note.left(), note.top() + grown.height());
    const QRect line = searchStatus_->geometry();
    searchStatus_->setGeometry(line.left(), note_->y(), list_->geometry().right() - line.left(),
                               line.height());
}

void CTarvoDlg::rememberGeometry() {
    RememberedChoices::rememberMainWindowGeometry(saveGeometry());
}

void CTarvoDlg::onDoubleClick(int row) {
    presenter_->doubleClick(list_->rowHit(row));
}

std::vector<WallCamera> CTarvoDlg::selectedCameras() const {
    std::vector<WallCamera> cameras;
    const auto rows = table_.rows();
    for (const int listed : list_->selectedRowNumbers()) {
        const auto hit = list_->rowHit(listed);
        if (!hit) continue;
        for (const discovery::DeviceRow& row : rows) {
            if (row.address != hit->address || !discovery::capabilitiesOf(row.type).camera)
                continue;
            cameras.push_back({row.name, {}, text::toUtf8(row.address), 0, row.type});
            break;
        }
    }
    return cameras;
}

void CTarvoDlg::runWall(std::vector<WallCamera> cameras) {
    if (cameras.empty()) return;
    // One login for every camera of the wall, as the preview's; the wall has its own stream
    // choice.
    CLog dialog(discovery::capabilitiesOf(cameras.front().type).previewPort, this);
    dialog.hideStreamChoice();
    if (dialog.exec() != QDialog::Accepted) return;
    for (WallCamera& camera : cameras) camera.port = dialog.GetPort();
    CWallDlg::run(std::move(cameras), dialog.userName.toStdU16String(),
                  dialog.password.toStdU16String(), this);
}

void CTarvoDlg::contextMenuEvent(QContextMenuEvent* event) {
    windowMenu_->exec(event->globalPos());
    event->accept();
}

void CTarvoDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        showAbout();
        return;
    }
    // Esc would end the program through the cancel command, also when it was meant for a box
    // that had just closed; the close box and the system menu end it.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTarvoDlg::reject() {
    // Cancel: release the sockets and let the modal loop end normally.
    rememberGeometry();
    engine_.closeInterfaces();
    QDialog::reject();
}

void CTarvoDlg::closeEvent(QCloseEvent* event) {
    // The close box ends the program at once; the receive threads have been woken and joined.
    rememberGeometry();
    engine_.closeInterfaces();
    event->accept();
    static_cast<void>(std::fflush(nullptr));  // nothing more can be done about a failed flush here
    std::_Exit(0);
}

}  // namespace tarvo::gui

namespace tarvo::gui {

void CTarvoDlg::buildSearchStatus(const QLabel& note) {
    // The line is filled once replies settled: the frames the MAC helper passed on late fill
    // their MAC cells then too.
    searchStatus_ = new SearchStatusLine(
        [this] {
            engine_.takeLateFrames();
            return engine_.diagnosis();
        },
        this);
    // From the note's end to the list's right edge, on the note's line.
    const QRect list = DialogUnits(font()).rect(tMain::kListRect);
    const QRect beside(note.geometry().right() + 8, note.geometry().top(),
                       list.right() - note.geometry().right() - 8, note.geometry().height());
    searchStatus_->setGeometry(beside);
    // Searches may start on workers (a batch, the site window): the line is told on its thread.
    // The line, a child, outlives the engine, a member; a call posted to a line that went
    // meanwhile is dropped by Qt.
    engine_.setSearchStarted([line = searchStatus_] {
        QMetaObject::invokeMethod(
            line, [line] { line->searchStarted(); }, Qt::QueuedConnection);
    });
}

}  // namespace tarvo::gui
