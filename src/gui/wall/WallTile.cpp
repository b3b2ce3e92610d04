#include "wall/WallTile.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "common/UiQueue.h"
#include "common/UiText.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "preview/CViewDlg.h"
#include "preview/VideoWidget.h"
#include "wall/OverlayLabel.h"
#include "wall/TileRenderer.h"

namespace tarvo::gui {

namespace {

// What the stream tells as it starts (its connect error, the decoder's), kept for the tile.
class KeptMessages final : public text::Notifier {
public:
    void message(std::u16string_view text) override { keep(text); }
    void systemError(std::u16string_view text) override { keep(text); }
    std::vector<std::u16string> taken() {
        std::lock_guard lock(mutex_);
        return std::exchange(texts_, {});
    }

private:
    void keep(std::u16string_view text) {
        std::lock_guard lock(mutex_);
        texts_.emplace_back(text);
    }
    std::mutex mutex_;
    std::vector<std::u16string> texts_;
};

// Over the picture: light text on a dark band, readable on any picture; flags on a red one.
const QColor kOverlayBand(0, 0, 0, 150);
const QColor kFlagsBand(190, 0, 0, 190);

QString joined(const std::vector<std::u16string>& texts) {
    QString out;
    for (const auto& t : texts) {
        if (!out.isEmpty()) out += QLatin1Char('\n');
        out += uiText(t);
    }
    return out;
}

}  // namespace

// What the tile's workers share with it; it outlives the tile when the stream is still starting.
struct WallTile::Session {
    std::mutex mutex;
    std::unique_ptr<preview::CCamStreamClient> client;
    TileRenderer* renderer = nullptr;  // the client's; valid until the client stops
    bool starting = false;             // guarded by mutex
    bool retired = false;              // guarded by mutex
    std::atomic<std::uint64_t> bytes{0};
    KeptMessages messages;
    std::shared_ptr<UiQueue<Started>> queue;
};

void WallWorkers::run(std::function<void()> work) {
    std::erase_if(workers_, [](const std::unique_ptr<Worker>& w) {
        if (!w->ended->load()) return false;
        w->thread.join();
        return true;
    });
    auto worker = std::make_unique<Worker>();
    worker->thread = std::thread([work = std::move(work), ended = worker->ended] {
        work();
        *ended = true;
    });
    workers_.push_back(std::move(worker));
}

bool WallWorkers::allEnded() {
    for (const auto& w : workers_)
        if (!w->ended->load()) return false;
    return true;
}

void WallWorkers::joinAll() {
    for (auto& w : workers_)
        if (w->thread.joinable()) w->thread.join();
    workers_.clear();
}

WallTile::WallTile(const WallCamera& camera, int index, WallWorkers& workers, QWidget* parent)
    : QFrame(parent), camera_(camera), index_(index), workers_(workers) {
    setObjectName(QStringLiteral("tile%1").arg(index));
    setFrameShape(QFrame::Box);
    setLineWidth(2);
    setFocusPolicy(Qt::NoFocus);
    video_ = new VideoWidget(this);
    video_->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(video_);
    title_ = new OverlayLabel(kOverlayBand, video_);
    title_->setObjectName(QStringLiteral("title"));
    titleText_ = dataText(camera.name);
    if (!camera.location.empty()) titleText_ += QStringLiteral(" · ") + dataText(camera.location);
    addressText_ = dataText(text::fromUtf8(camera.address));
    title_->setText(titleText_ + QLatin1Char('\n') + addressText_);
    title_->setToolTip(title_->text());
    rates_ = new OverlayLabel(kOverlayBand, video_);
    rates_->setObjectName(QStringLiteral("rates"));
    flags_ = new OverlayLabel(kFlagsBand, video_);
    flags_->setObjectName(QStringLiteral("flags"));
    flags_->setWordWrap(true);
    flags_->hide();
    notice_ = new OverlayLabel(kOverlayBand, video_);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setWordWrap(true);
    notice_->setAlignment(Qt::AlignCenter);
    notice_->hide();
    meter_ = new FocusMeter(video_);
    meter_->setObjectName(QStringLiteral("focusMeter"));
    meter_->hide();
    setSelected(false);
}

WallTile::~WallTile() {
    retire();
}

void WallTile::start(const protocol::LoginInfo& info, preview::CCamStreamClient::PacketTap tap) {
    if (session_) return;
    auto session = std::make_shared<Session>();
    auto renderer = std::make_unique<TileRenderer>();
    renderer->initialise(video_);
    renderer->setSelected(selected_);
    session->renderer = renderer.get();
    session->client =
        std::make_unique<preview::CCamStreamClient>(info, session->messages, std::move(renderer));
    // Sixteen streams already keep every core busy: more threads per decoder only hand over.
    session->client->setDecoderThreads(1);
    session->client->setPacketTap(
        [bytes = &session->bytes, tap = std::move(tap)](
            int type, std::span<const std::uint8_t> header, std::span<const std::uint8_t> payload) {
            bytes->fetch_add(header.size() + payload.size(), std::memory_order_relaxed);
            if (tap) tap(type, header, payload);
        });
    // Handed over through the wall's grid, not the tile: a worker may post just as the tile goes,
    // and the wall outlives every worker. The queue is closed before the tile goes, so the
    // handler never runs for a tile that is gone.
    session->queue =
        std::make_shared<UiQueue<Started>>(parentWidget(), [this](Started& s) { onStarted(s); });
    session->starting = true;
    session_ = session;
    starting_ = true;
    notice_->setText(uiText(text::msg::kWaitingForDevice));
    notice_->show();
    layOut();
    workers_.run([session] {
        auto& client = *session->client;
        Started started;
        const protocol::Outcome connected = client.connect();
        const protocol::Outcome login = connected.ok ? client.login() : connected;
        if (!connected.ok) {
            started.why = {connected.message.empty()
                               ? std::u16string(text::msg::kConnectCameraFailedEn)
                               : connected.message};
        } else if (!login.ok) {
            started.why = {login.message};
            if (login.loginRefused) started.why.emplace_back(text::msg::kLoginRefusedNote);
        } else if (client.startStream()) {
            started.ok = true;
        } else {
            started.why = session->messages.taken();
            if (started.why.empty())
                started.why = {std::u16string(text::msg::kVerifyNoStreamReply)};
        }
        bool retired = false;
        {
            std::lock_guard lock(session->mutex);
            session->starting = false;
            retired = session->retired;
        }
        // A tile that went meanwhile left the stream to this worker.
        if (retired) {
            client.stop();
            return;
        }
        session->queue->push(std::move(started));
    });
}

void WallTile::onStarted(const Started& started) {
    starting_ = false;
    if (!started.ok) {
        failed_ = true;
        notice_->setText(joined(started.why));
        notice_->show();
        layOut();
        return;
    }
    playing_ = true;
    notice_->hide();
    picturesSeen_ = video_->presented();
    sincePicture_.start();
    rateClock_.start();
    showRates();
}

void WallTile::retire() {
    if (!session_) return;
    std::shared_ptr<Session> session = std::move(session_);
    session->queue->close();
    bool stopHere = false;
    {
        std::lock_guard lock(session->mutex);
        session->retired = true;
        // The renderer goes with the client, which is stopped before anything else frees it.
        if (session->renderer != nullptr) session->renderer->detach();
        stopHere = !session->starting;
    }
    playing_ = false;
    starting_ = false;
    // Stopping pauses for the device and joins the stream's threads: a worker does it. A set-up
    // still running stops the client itself when it ends.
    if (stopHere) workers_.run([session] { session->client->stop(); });
}

preview::CCamStreamClient* WallTile::client() const {
    return session_ ? session_->client.get() : nullptr;
}

preview::PictureVerdict WallTile::verdict() const {
    if (!session_ || session_->renderer == nullptr) return {};
    return session_->renderer->readout().verdict;
}

QString WallTile::notice() const {
    return notice_->isHidden() ? QString() : notice_->text();
}

QString WallTile::flagsText() const {
    return flags_->isHidden() ? QString() : flags_->text();
}

QString WallTile::ratesText() const {
    return rates_->text();
}

void WallTile::setSelected(bool selected) {
    selected_ = selected;
    if (session_ && session_->renderer != nullptr) session_->renderer->setSelected(selected);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, selected ? palette().color(QPalette::Highlight)
                                                    : palette().color(QPalette::Mid));
    setPalette(colours);
    meter_->setVisible(selected && playing_);
    layOut();
}

void WallTile::tick() {
    if (!playing_) return;
    showRates();
    showStalled();
    showVerdict();
}

void WallTile::showRates() {
    const qint64 elapsed = rateClock_.elapsed();
    if (elapsed < 1000 && !rates_->text().isEmpty()) return;
    const quint64 pictures = session_->client->stats().pictures;
    const std::uint64_t bytes = session_->bytes.load();
    const double seconds = std::max<qint64>(elapsed, 1) / 1000.0;
    const auto perSecond = static_cast<int>((pictures - picturesAtRate_) / seconds + 0.5);
    const auto kbits = static_cast<int>((bytes - bytesAtRate_) * 8 / 1000.0 / seconds + 0.5);
    picturesAtRate_ = pictures;
    bytesAtRate_ = bytes;
    rateClock_.restart();
    rates_->setText(uiText(text::msg::kWallRatesFormat).arg(perSecond).arg(kbits));
    layOut();
}

void WallTile::showStalled() {
    const quint64 presented = video_->presented();
    if (presented != picturesSeen_) {
        picturesSeen_ = presented;
        sincePicture_.restart();
        if (!notice_->isHidden()) {
            notice_->hide();
            layOut();
        }
        return;
    }
    const qint64 waited = sincePicture_.elapsed();
    if (waited < CViewDlg::kNoPictureNoticeMs) return;
    notice_->setText(uiText(text::msg::kPreviewNoPictureFormat).arg(waited / 1000));
    notice_->show();
    layOut();
}

void WallTile::showVerdict() {
    const TileRenderer::Readout readout = session_->renderer->readout();
    if (readout.checks == 0) return;
    QString flags;
    for (const text::Reason& reason : readout.verdict.reasons()) {
        if (!flags.isEmpty()) flags += QLatin1Char('\n');
        flags += dataText(text::show(reason));
    }
    if (flags != flags_->text() || flags_->isHidden() != flags.isEmpty()) {
        flags_->setText(flags);
        flags_->setVisible(!flags.isEmpty());
        layOut();
    }
    meter_->setFigures(readout.verdict.figures.sharpness, readout.bestSharpness);
    if (meter_->isHidden() == selected_) {
        meter_->setVisible(selected_);
        layOut();
    }
}

// The overlays: name and address at the top left, rates at the top right, flags and the focus
// meter at the bottom, the notice in the middle; each only as large as its text.
void WallTile::layOut() {
    const QRect area = video_->rect();
    // A name longer than the tile is shortened here and shown whole in the tool tip.
    const QFontMetrics metrics(title_->font());
    const int room = std::max(0, area.width() - 8);
    title_->setText(metrics.elidedText(titleText_, Qt::ElideRight, room) + QLatin1Char('\n') +
                    metrics.elidedText(addressText_, Qt::ElideRight, room));
    title_->adjustSize();
    title_->move(0, 0);
    rates_->adjustSize();
    // Beside the name when both fit, else below it.
    const bool beside = title_->width() + rates_->width() <= area.width();
    rates_->move(area.width() - rates_->width(), beside ? 0 : title_->height());
    int bottom = area.height();
    if (!meter_->isHidden()) {
        meter_->setGeometry(0, bottom - meter_->sizeHint().height(), area.width(),
                            meter_->sizeHint().height());
        bottom = meter_->y();
    }
    if (!flags_->isHidden()) {
        const int height = flags_->heightForWidth(area.width());
        flags_->setGeometry(0, bottom - height, area.width(), height);
    }
    if (!notice_->isHidden()) {
        const int width = area.width() * 9 / 10;
        const int height = notice_->heightForWidth(width);
        notice_->setGeometry((area.width() - width) / 2, (area.height() - height) / 2, width,
                             height);
    }
}

bool WallTile::eventFilter(QObject* watched, QEvent* event) {
    if (watched == video_ && event->type() == QEvent::Resize) layOut();
    return QFrame::eventFilter(watched, event);
}

void WallTile::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked(index_);
    QFrame::mousePressEvent(event);
}

void WallTile::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked(index_);
    QFrame::mouseDoubleClickEvent(event);
}

FocusMeter::FocusMeter(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FocusMeter::setFigures(double live, double best) {
    live_ = live;
    best_ = best;
    // Tenths only where they can matter: the figures run from about 1 to many thousands.
    const auto figure = [](double value) {
        return QString::number(value, 'f', value < 100 ? 1 : 0);
    };
    text_ = uiText(text::msg::kWallFocusFormat).arg(figure(live), figure(best));
    update();
}

QSize FocusMeter::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_) + 60, metrics.height() + 6};
}

void FocusMeter::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 170));
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text_) + 8;
    painter.setPen(Qt::white);
    painter.drawText(QRect(4, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, text_);
    // The bar: the live figure as a share of the best, green when close to it.
    const QRect bar(textWidth + 4, 4, std::max(10, width() - textWidth - 8), height() - 8);
    painter.setPen(QColor(200, 200, 200));
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const double share = best_ > 0 ? std::clamp(live_ / best_, 0.0, 1.0) : 0.0;
    const QColor fill = share >= 0.9 ? QColor(40, 200, 60) : QColor(230, 170, 20);
    painter.fillRect(QRect(bar.left() + 1, bar.top() + 1,
                           static_cast<int>((bar.width() - 2) * share), bar.height() - 2),
                     fill);
}

}  // namespace tarvo::gui
