#include "dialogs/CSiteVerifyDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

#include "common/BackgroundStep.h"
#include "common/ResultTable.h"
#include "common/UiText.h"
#include "common/UiWait.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::gui {

namespace {

enum VerifyColumn { kVerifyDevice, kVerifyResult, kVerifyVersion, kVerifyFigures, kVerifyColumns };

// The grid's pictures: big enough to see where a camera points.
constexpr QSize kThumbnail(192, 108);

// Hands each result over with its snapshot already made small: the window keeps thumbnails,
// never the snapshots themselves.
class QueueObserver final : public site::VerifyObserver {
public:
    template <typename Push>
    explicit QueueObserver(Push push) : push_(std::move(push)) {}
    void verified(const site::VerifyResult& result,
                  std::span<const std::uint8_t> snapshot) override {
        QImage thumbnail;
        if (!snapshot.empty()) {
            QImage full;
            if (full.loadFromData(snapshot.data(), static_cast<int>(snapshot.size()), "JPG"))
                thumbnail = full.scaled(kThumbnail, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        push_(result, std::move(thumbnail));
    }

private:
    std::function<void(const site::VerifyResult&, QImage)> push_;
};

QString deviceText(const site::VerifyTarget& t) {
    QString out = QString::fromStdString(t.address);
    if (!t.mac.empty()) out += QStringLiteral("  ") + QString::fromStdString(t.mac);
    if (!t.name.empty()) out += QStringLiteral("  ") + dataText(text::fromUtf8(t.name));
    return out;
}

}  // namespace

CSiteVerifyDlg::CSiteVerifyDlg(std::vector<discovery::DeviceRow> heard, QString sitePath,
                               QWidget* parent)
    : QDialog(parent), heard_(std::move(heard)), sitePath_(std::move(sitePath)) {
    setObjectName(QStringLiteral("siteVerify"));
    setWindowTitle(uiText(u"验证"));

    auto* fields = new QHBoxLayout;
    user_ = new QLineEdit(QStringLiteral("admin"), this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setObjectName(QStringLiteral("password"));
    seconds_ = new QSpinBox(this);
    seconds_->setRange(1, 60);
    seconds_->setValue(5);
    parallel_ = new QSpinBox(this);
    parallel_->setRange(1, site::kMaxVerifyParallel);
    parallel_->setValue(4);
    startButton_ = new QPushButton(uiText(text::msg::kAddressBatchStart), this);
    startButton_->setObjectName(QStringLiteral("startButton"));
    fields->addWidget(new QLabel(uiText(text::msg::kAddressBatchUser), this));
    fields->addWidget(user_);
    fields->addWidget(new QLabel(uiText(text::msg::kAddressBatchPassword), this));
    fields->addWidget(password_);
    fields->addWidget(new QLabel(uiText(u"测量秒数"), this));
    fields->addWidget(seconds_);
    fields->addWidget(new QLabel(uiText(u"同时验证"), this));
    fields->addWidget(parallel_);
    fields->addStretch();
    fields->addWidget(startButton_);
    connect(startButton_, &QPushButton::clicked, this, &CSiteVerifyDlg::start);

    progress_ =
        new QLabel(sitePath_.isEmpty() ? uiText(u"没有打开现场：结果不会保存") : sitePath_, this);
    progress_->setObjectName(QStringLiteral("progress"));

    targets_ = site::verifyTargets(heard_, {});
    table_ = newResultTable(this, static_cast<int>(targets_.size()),
                            {uiText(u"设备"), uiText(text::msg::kAddressBatchResult),
                             uiText(text::msg::kBatchColVersion), uiText(u"测量值")},
                            kVerifyFigures);
    table_->setObjectName(QStringLiteral("results"));
    for (int r = 0; r < table_->rowCount(); ++r) {
        table_->setItem(r, kVerifyDevice,
                        new QTableWidgetItem(deviceText(targets_[static_cast<std::size_t>(r)])));
        for (int c = kVerifyResult; c < kVerifyColumns; ++c)
            table_->setItem(r, c, new QTableWidgetItem);
    }
    fitResultColumn(*table_, kVerifyFigures, 30);

    snapshots_ = new QListWidget(this);
    snapshots_->setObjectName(QStringLiteral("snapshots"));
    snapshots_->setViewMode(QListView::IconMode);
    snapshots_->setIconSize(kThumbnail);
    snapshots_->setResizeMode(QListView::Adjust);
    snapshots_->setMovement(QListView::Static);
    snapshots_->setSpacing(6);
    snapshots_->setWordWrap(true);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(snapshots_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);

    auto* copy = new QPushButton(uiText(text::msg::kCopyResults), this);
    enableTableCopy(*table_, *copy);
    auto* close = new QPushButton(uiText(u"关闭"), this);
    connect(close, &QPushButton::clicked, this, &CSiteVerifyDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addWidget(copy);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(960, 680);
}

CSiteVerifyDlg::~CSiteVerifyDlg() {
    stopRun();
}

void CSiteVerifyDlg::reject() {
    stopRun();
    QDialog::reject();
}

void CSiteVerifyDlg::setCredentials(const QString& user, const QString& password) {
    user_->setText(user);
    password_->setText(password);
}

void CSiteVerifyDlg::setSeconds(int seconds) {
    seconds_->setValue(seconds);
}

int CSiteVerifyDlg::snapshotCount() const {
    return snapshots_->count();
}

void CSiteVerifyDlg::start() {
    if (running_ || targets_.empty()) return;
    if (worker_.joinable()) worker_.join();  // the last run handed everything over
    running_ = true;
    showWorking(*this, true);
    startButton_->setEnabled(false);
    total_ = static_cast<int>(targets_.size());
    done_ = 0;
    failed_ = 0;
    snapshots_->clear();
    for (int r = 0; r < table_->rowCount(); ++r)
        for (int c = kVerifyResult; c < kVerifyColumns; ++c) table_->item(r, c)->setText(QString());
    progress_->setText(
        dataText(text::formatText(text::tr(text::msg::kVerifyProgressFormat),
                                  {u"0", text::fromUtf8(std::to_string(total_)), u"0"})));

    site::VerifyOptions options;
    options.user = user_->text().toStdU16String();
    options.password = password_->text().toStdU16String();
    options.seconds = seconds_->value();
    options.parallel = parallel_->value();
    stop_ = std::make_shared<std::atomic<bool>>(false);
    ended_ = std::make_shared<std::atomic<bool>>(false);
    queue_ = std::make_shared<UiQueue<Item>>(this, [this](Item& item) { showResult(item); });
    // The worker owns everything it uses: it may outlive the window that started it.
    worker_ =
        std::thread([heard = heard_, targets = targets_, options, path = sitePath_.toStdString(),
                     stop = stop_, ended = ended_, queue = queue_] {
            QueueObserver observer([&queue](const site::VerifyResult& r, QImage thumbnail) {
                queue->push({r, std::move(thumbnail)});
            });
            (void)site::verifyDevices(path, heard, targets, options, observer, *stop);
            queue->push({});
            *ended = true;
        });
}

void CSiteVerifyDlg::showResult(Item& item) {
    if (!item.result) {
        running_ = false;
        showWorking(*this, false);
        startButton_->setEnabled(true);
        emit finished();
        return;
    }
    const site::VerifyResult& r = *item.result;
    ++done_;
    if (!r.ok || !r.siteError.empty()) ++failed_;
    progress_->setText(dataText(text::formatText(
        text::tr(text::msg::kVerifyProgressFormat),
        {text::fromUtf8(std::to_string(done_)), text::fromUtf8(std::to_string(total_)),
         text::fromUtf8(std::to_string(failed_))})));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto& t = targets_[static_cast<std::size_t>(row)];
        if (t.address != r.target.address) continue;
        QString result = dataText(r.resultText());
        // A site that failed before the device was asked is the reason itself.
        if (!r.siteError.empty() && r.reason != text::Reason::literal(r.siteError))
            result += QLatin1Char('\n') + QString::fromStdString(r.siteError);
        table_->item(row, kVerifyResult)->setText(result);
        table_->item(row, kVerifyResult)
            ->setForeground(r.ok ? palette().text() : QBrush(QColor(0xB0, 0x10, 0x10)));
        table_->item(row, kVerifyVersion)->setText(dataText(text::fromUtf8(r.version)));
        table_->item(row, kVerifyFigures)->setText(dataText(r.figures.text()));
        break;
    }
    table_->resizeColumnToContents(kVerifyResult);
    table_->resizeRowsToContents();
    if (!item.thumbnail.isNull()) {
        auto* entry =
            new QListWidgetItem(QIcon(QPixmap::fromImage(item.thumbnail)),
                                deviceText(r.target).section(QStringLiteral("  "), 0, 0) +
                                    QLatin1Char('\n') + dataText(text::fromUtf8(r.target.name)));
        entry->setToolTip(deviceText(r.target));
        entry->setSizeHint(QSize(kThumbnail.width() + 12, kThumbnail.height() + 48));
        snapshots_->addItem(entry);
    }
}

void CSiteVerifyDlg::stopRun() {
    if (!worker_.joinable()) return;
    if (running_) {
        // The workers stop at their next step and record where they were; nothing waits here.
        stop_->store(true);
        queue_->close();
        running_ = false;
        showWorking(*this, false);
        detail::keepUntilDone(std::move(worker_), std::move(ended_));
        return;
    }
    worker_.join();
}

}  // namespace tarvo::gui
