#include "dialogs/CSiteDlg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "common/MessageBoxes.h"
#include "common/ResultTable.h"
#include "common/UiText.h"
#include "common/UiWait.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/protocol/CommandCodes.h"
#include "core/site/PlanCsv.h"
#include "core/site/SiteReport.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "dialogs/CSiteVerifyDlg.h"
#include "report/PdfReport.h"
#include "wall/CWallDlg.h"

namespace tarvo::gui {

namespace {

enum Column {
    kColLine,  // the plan file's line: refusals cite it
    kColMac,
    kColAddress,
    kColPlanned,
    kColState,
    kColName,
    kColLocation,
    kColNote,
    kColResult,
    kColumns
};

// Messages of the apply's own steps become its rows' results; no box from its thread.
class ApplyNotifier final : public text::Notifier {
public:
    void message(std::u16string_view) override {}
    void systemError(std::u16string_view) override {}
};

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

// At most this many reasons in one box; the rest are counted.
constexpr int kReasonsShown = 20;

QString reasons(const std::vector<site::PlanProblem>& problems) {
    QString out;
    int count = 0;
    for (const auto& p : problems) {
        if (count++ == kReasonsShown) {
            out += QStringLiteral("\n…");
            break;
        }
        out += QLatin1Char('\n') + dataText(site::lineText(p));
    }
    return out;
}

}  // namespace

CSiteDlg::CSiteDlg(std::function<std::vector<discovery::DeviceRow>()> heard, QWidget* parent)
    : QDialog(parent), heard_(std::move(heard)) {
    setObjectName(QStringLiteral("site"));
    setWindowTitle(uiText(u"现场"));
    path_ = new QLabel(uiText(u"没有打开现场"), this);
    path_->setObjectName(QStringLiteral("sitePath"));
    auto* newButton = new QPushButton(uiText(u"新建…"), this);
    auto* openButton = new QPushButton(uiText(u"打开…"), this);
    auto* importButton = new QPushButton(uiText(u"导入地址计划…"), this);
    connect(newButton, &QPushButton::clicked, this, &CSiteDlg::chooseNewSite);
    connect(openButton, &QPushButton::clicked, this, &CSiteDlg::chooseSite);
    connect(importButton, &QPushButton::clicked, this, &CSiteDlg::choosePlan);
    auto* files = new QHBoxLayout;
    files->addWidget(path_, 1);
    files->addWidget(newButton);
    files->addWidget(openButton);
    files->addWidget(importButton);

    filter_ = new QComboBox(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->addItem(uiText(u"全部"));
    for (auto state : {site::DeviceStatus::State::InPlace, site::DeviceStatus::State::Elsewhere,
                       site::DeviceStatus::State::New, site::DeviceStatus::State::Missing})
        filter_->addItem(dataText(site::stateText(state)));
    filter_->addItem(uiText(text::msg::kSiteFirmwareChanged));
    connect(filter_, &QComboBox::currentIndexChanged, this, &CSiteDlg::setFilter);

    // Every column fits its text as rows and results come; a long reason wraps in its row.
    table_ =
        newResultTable(this, 0,
                       {uiText(text::msg::kSitePlanLine), uiText(u"mac地址"), uiText(u"IP 地址"),
                        uiText(u"计划地址"), uiText(u"状态"), uiText(u"名称"), uiText(u"位置"),
                        uiText(text::msg::kSiteCsvNote), uiText(text::msg::kSiteApplyResult)},
                       kColResult);
    table_->setObjectName(QStringLiteral("devices"));

    auto* form = new QFormLayout;
    user_ = new QLineEdit(QStringLiteral("admin"), this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setObjectName(QStringLiteral("password"));
    form->addRow(uiText(u"用户名"), user_);
    form->addRow(uiText(u"密码"), password_);
    applyButton_ = new QPushButton(uiText(u"应用"), this);
    applyButton_->setObjectName(QStringLiteral("applyButton"));
    closeButton_ = new QPushButton(uiText(u"关闭"), this);
    connect(applyButton_, &QPushButton::clicked, this, &CSiteDlg::apply);
    connect(closeButton_, &QPushButton::clicked, this, &CSiteDlg::reject);
    reportButton_ = new QPushButton(uiText(text::msg::kReportMenu), this);
    reportButton_->setObjectName(QStringLiteral("reportButton"));
    connect(reportButton_, &QPushButton::clicked, this, &CSiteDlg::chooseReport);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(filter_);
    buttons->addStretch();
    buttons->addWidget(reportButton_);
    buttons->addWidget(applyButton_);
    auto* verifyButton = new QPushButton(uiText(u"验证…"), this);
    verifyButton->setObjectName(QStringLiteral("verifyButton"));
    connect(verifyButton, &QPushButton::clicked, this, &CSiteDlg::verify);
    buttons->addWidget(verifyButton);
    auto* wallButton = new QPushButton(uiText(text::msg::kWallMenu), this);
    wallButton->setObjectName(QStringLiteral("wallButton"));
    connect(wallButton, &QPushButton::clicked, this, &CSiteDlg::wall);
    buttons->addWidget(wallButton);
    buttons->addWidget(closeButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addWidget(table_);
    layout->addLayout(form);
    layout->addLayout(buttons);

    reopenLastSite();
    applyButton_->setEnabled(site_ != nullptr);
    reportButton_->setEnabled(site_ != nullptr);
    refresh();
}

void CSiteDlg::reopenLastSite() {
    // One that went away or went bad is simply not reopened.
    const QString last = currentSitePath();
    if (last.isEmpty()) return;
    try {
        site_ = site::SiteFile::open(last.toStdString(), false);
        path_->setText(last);
    } catch (const site::SiteError&) {
        site_.reset();
    }
}

CSiteDlg::~CSiteDlg() {
    calls_.close();
    if (worker_.joinable()) worker_.join();
}

void CSiteDlg::reject() {
    // Devices are being changed: the dialog waits for that to end.
    if (!running_.load()) QDialog::reject();
}

QString CSiteDlg::currentSitePath() {
    const QString last = QSettings().value(QString::fromLatin1(kLastSiteKey)).toString();
    return !last.isEmpty() && QFileInfo::exists(last) ? last : QString();
}

bool CSiteDlg::openSite(const QString& path) {
    try {
        site_ = site::SiteFile::open(path.toStdString(), true);
    } catch (const site::SiteError& e) {
        showMessage(this, QString::fromUtf8(e.what()));
        return false;
    }
    QSettings().setValue(QString::fromLatin1(kLastSiteKey), path);
    path_->setText(path);
    applyButton_->setEnabled(true);
    reportButton_->setEnabled(true);
    refresh();
    return true;
}

bool CSiteDlg::importPlan(const QString& path) {
    if (!site_) return false;
    const auto plan = site::readPlanFile(path.toStdString());
    if (!plan.problems.empty()) {
        showMessage(this, reasons(plan.problems).mid(1));
        return false;
    }
    try {
        site_->replacePlan(plan.rows);
    } catch (const site::SiteError& e) {
        showMessage(this, QString::fromUtf8(e.what()));
        return false;
    }
    results_.clear();  // they were the old plan's
    refresh();
    return true;
}

void CSiteDlg::chooseNewSite() {
    const QString filter = uiText(u"现场文件 (*.tarvo-site)");
    QString path = QFileDialog::getSaveFileName(this, uiText(u"新建…"), {}, filter, nullptr,
                                                QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".tarvo-site"))) path += QStringLiteral(".tarvo-site");
    // An existing file is opened (or refused) as it is, never overwritten.
    openSite(path);
}

void CSiteDlg::chooseSite() {
    const QString path = QFileDialog::getOpenFileName(this, uiText(u"打开…"), {},
                                                      uiText(u"现场文件 (*.tarvo-site)"));
    if (!path.isEmpty()) openSite(path);
}

void CSiteDlg::choosePlan() {
    if (!site_) {
        showMessage(this, uiText(u"没有打开现场"));
        return;
    }
    const QString path = QFileDialog::getOpenFileName(this, uiText(u"导入地址计划…"), {},
                                                      uiText(u"CSV 文件 (*.csv *.txt)"));
    if (!path.isEmpty()) importPlan(path);
}

void CSiteDlg::setFilter(int index) {
    // The combo box shows the filter in use; its change comes back here.
    if (filter_->currentIndex() != index && index >= 0 && index < filter_->count()) {
        filter_->setCurrentIndex(index);
        return;
    }
    shown_.clear();
    for (const auto& s : status_) {
        const bool take = index <= 0 || (index == 5 && s.firmwareChanged) ||
                          (index >= 1 && index <= 4 && static_cast<int>(s.state) == index - 1);
        if (take) shown_.push_back(s);
    }
    table_->setRowCount(static_cast<int>(shown_.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const auto& s = shown_[static_cast<std::size_t>(r)];
        QString state = dataText(site::stateText(s.state));
        if (s.firmwareChanged)
            state += uiText(text::msg::kVerifySeparator) + uiText(text::msg::kSiteFirmwareChanged);
        const int line = lines_.value(utf8(s.mac));
        const QString values[kColumns] = {line > 0 ? QString::number(line) : QString(),
                                          utf8(s.mac),
                                          utf8(s.address.empty() ? s.lastAddress : s.address),
                                          utf8(s.plannedAddress),
                                          state,
                                          utf8(s.name),
                                          utf8(s.location),
                                          utf8(s.note),
                                          results_.value(utf8(s.mac))};
        for (int c = 0; c < kColumns; ++c) table_->setItem(r, c, new QTableWidgetItem(values[c]));
    }
}

void CSiteDlg::refresh() {
    status_.clear();
    if (site_) {
        // Only read here: a write would wait while another program writes the site, and the
        // main list records each search off the window's thread already.
        try {
            const auto plan = site_->plan();
            lines_.clear();
            for (const auto& row : plan) lines_.insert(utf8(row.mac), row.line);
            status_ = site::siteStatus(plan, site_->knownDevices(), heard_());
        } catch (const site::SiteError& e) {
            showMessage(this, QString::fromUtf8(e.what()));
        }
    }
    setFilter(filter_->currentIndex());
    // Until it shows, the window takes the room its columns and a reason of 40 characters need,
    // as far as the screen allows; once shown, its size is the installer's.
    if (!isVisible()) {
        const int screenWidth = screen() ? screen()->availableGeometry().width() : 1280;
        resize(std::clamp(tableWidth(*table_, kColResult, 40) + 24, 860,
                          std::max(860, std::min(1280, screenWidth))),
               520);
    }
}

void CSiteDlg::apply() {
    if (!site_ || running_.load()) return;
    if (site_->plan().empty()) {
        showMessage(this, uiText(text::msg::kPlanEmpty));
        return;
    }
    site::ApplyOptions options;
    options.user = user_->text().toStdU16String();
    options.password = password_->text().toStdU16String();
    runApply(options, true);
}

void CSiteDlg::runApply(site::ApplyOptions options, bool dryRun) {
    running_.store(true);
    showWorking(*this, true);
    applyButton_->setEnabled(false);
    closeButton_->setEnabled(false);
    if (worker_.joinable()) worker_.join();
    options.dryRun = dryRun;
    results_.clear();
    // Each row shows its device's result as soon as it is known, not only at the end.
    options.onResult = [this](std::size_t, const site::ApplyResult& r) {
        QString result = dataText(r.resultText());
        if (r.searchOnly && r.result == site::ApplyResult::Result::Planned)
            result += QStringLiteral("  ") + uiText(text::msg::kPlanSearchOnly);
        calls_.push([this, mac = dataText(r.mac), result] { showResult(mac, result); });
    };
    // The worker has a connection of its own: one connection is never shared between threads.
    worker_ = std::thread([this, options, path = site_->path()] {
        ApplyNotifier notifier;
        site::ApplyReport report;
        std::string failure;
        try {
            auto own = site::SiteFile::open(path, false);
            report = site::applyPlan(*own, options, notifier);
        } catch (const site::SiteError& e) {
            failure = e.what();
        }
        calls_.push([this, report, failure, options] {
            running_.store(false);
            showWorking(*this, false);
            applyButton_->setEnabled(true);
            closeButton_->setEnabled(true);
            if (!failure.empty()) {
                showMessage(this, QString::fromStdString(failure));
                return;
            }
            showApplied(report, options.dryRun, options);
        });
    });
}

void CSiteDlg::showApplied(const site::ApplyReport& report, bool dryRun,
                           const site::ApplyOptions& options) {
    refresh();
    // A row the plan's check refused says why in its own row.
    for (const auto& p : report.review.problems) {
        for (const auto& r : report.results)
            if (r.line == p.line && p.line > 0) showResult(dataText(r.mac), dataText(p.text));
    }
    if (!report.review.canApply()) {
        showMessage(this, uiText(text::msg::kPlanNothingSent) + reasons(report.review.problems));
        return;
    }
    QString lines;
    int moves = 0;
    for (const auto& r : report.results) {
        const bool move = r.result == site::ApplyResult::Result::Planned ||
                          r.result == site::ApplyResult::Result::Moved ||
                          r.result == site::ApplyResult::Result::NotMoved;
        moves += move ? 1 : 0;
        if (!dryRun || move) {
            lines += QLatin1Char('\n') + dataText(r.mac) + QStringLiteral("  ") +
                     utf8(r.oldAddress) + QStringLiteral(" → ") + utf8(r.newAddress) +
                     QStringLiteral("  ") + dataText(r.resultText());
        }
    }
    for (const auto& u : report.review.unplanned) {
        lines += QLatin1Char('\n') + dataText(u.mac) + QStringLiteral("  ") + dataText(u.address) +
                 QStringLiteral("  ") + uiText(text::msg::kSiteNew);
    }
    if (!dryRun) {
        // What was left stays in the plan; the summary says so.
        if (const auto left = report.notApplied(); left > 0)
            lines += QLatin1Char('\n') + uiText(text::msg::kSiteNotApplied).arg(left);
        showMessage(this, lines.mid(1));
        return;
    }
    if (moves == 0) {
        showMessage(this, lines.isEmpty() ? uiText(text::msg::kSiteInPlace) : lines.mid(1));
        return;
    }
    const QString question =
        uiText(u"要修改 %1 台设备的地址吗？").arg(moves) + QLatin1Char('\n') + lines;
    if (QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes)
        runApply(options, false);
}

void CSiteDlg::verify() {
    if (running_.load()) return;
    CSiteVerifyDlg(heard_(), site_ ? QString::fromStdString(site_->path()) : QString(), this)
        .exec();
    refresh();
}

std::vector<WallCamera> CSiteDlg::wallCameras() const {
    std::vector<WallCamera> cameras;
    for (const auto& s : status_) {
        if (s.plannedAddress.empty()) continue;  // not the plan's
        // A planned device never heard has no known type: it is taken for a camera, and its
        // tile says that it cannot be reached.
        if (s.type != 0 && !discovery::capabilitiesOf(s.type).camera) continue;
        const std::string& address = s.address.empty() ? s.plannedAddress : s.address;
        const int port = s.type != 0 ? discovery::capabilitiesOf(s.type).previewPort
                                     : protocol::kCameraCommandPort;
        cameras.push_back(
            {text::fromUtf8(s.name), text::fromUtf8(s.location), address, port, s.type});
    }
    return cameras;
}

void CSiteDlg::wall() {
    if (running_.load()) return;
    auto cameras = wallCameras();
    if (cameras.empty()) {
        showMessage(this, uiText(text::msg::kWallNoCameras));
        return;
    }
    CWallDlg::run(std::move(cameras), user_->text().toStdU16String(),
                  password_->text().toStdU16String(), this);
}

void CSiteDlg::showResult(const QString& mac, const QString& result) {
    results_.insert(mac, result);
    for (int r = 0; r < table_->rowCount(); ++r) {
        if (utf8(shown_[static_cast<std::size_t>(r)].mac) != mac) continue;
        table_->setItem(r, kColResult, new QTableWidgetItem(result));
    }
}

void CSiteDlg::chooseReport() {
    if (!site_) {
        showMessage(this, uiText(text::msg::kReportNoSite));
        return;
    }
    if (running_.load()) return;
    QString chosen;
    QString path = QFileDialog::getSaveFileName(this, uiText(text::msg::kReportMenu), {},
                                                uiText(text::msg::kReportFileFilter), &chosen);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty())
        path += chosen.contains(QStringLiteral("pdf")) ? QStringLiteral(".pdf")
                                                       : QStringLiteral(".html");
    makeReport(path);
}

bool CSiteDlg::makeReport(const QString& path) {
    if (!site_ || running_.load()) return false;
    const auto format = site::reportFormatOf(path.toStdString());
    if (!format) {
        showMessage(this, uiText(text::msg::kReportExtension));
        return false;
    }
    running_.store(true);
    showWorking(*this, true);
    for (auto* button : {applyButton_, closeButton_, reportButton_}) button->setEnabled(false);
    reportButton_->setText(uiText(text::msg::kReportMaking));
    if (worker_.joinable()) worker_.join();
    // The site is read on a connection of the worker's own; the PDF is laid out there too (text
    // documents and painters on a PDF writer work off the window's thread).
    worker_ = std::thread(
        [this, path, pdf = *format == site::ReportFormat::Pdf, sitePath = site_->path()] {
            std::string failure;
            try {
                const auto own = site::SiteFile::open(sitePath, false);
                if (pdf)
                    report::writePdfReport(*own, path.toStdString());
                else
                    site::writeHtmlReport(*own, path.toStdString());
            } catch (const std::runtime_error& e) {  // SiteError, ReportError
                failure = e.what();
            }
            calls_.push([this, path, failure] {
                running_.store(false);
                showWorking(*this, false);
                for (auto* button : {applyButton_, closeButton_, reportButton_})
                    button->setEnabled(true);
                reportButton_->setText(uiText(text::msg::kReportMenu));
                if (failure.empty()) {
                    showInformation(this, uiText(text::msg::kReportWrittenFormat).arg(path));
                } else {
                    showMessage(this, QString::fromStdString(failure));
                }
            });
        });
    return true;
}

}  // namespace tarvo::gui
