#include "wall/CWallDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "common/RememberedChoices.h"
#include "common/UiText.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "preview/CViewDlg.h"

namespace tarvo::gui {

namespace {

constexpr int kEndPollMs = 100;

bool isLayout(int n) {
    return std::find(std::begin(CWallDlg::kLayouts), std::end(CWallDlg::kLayouts), n) !=
           std::end(CWallDlg::kLayouts);
}

int columnsFor(int tiles) {
    return std::max(1, static_cast<int>(std::lround(std::sqrt(tiles))));
}

}  // namespace

CWallDlg::CWallDlg(std::vector<WallCamera> cameras, std::string user, std::string password,
                   QWidget* parent)
    : QDialog(parent),
      cameras_(std::move(cameras)),
      user_(std::move(user)),
      password_(std::move(password)) {
    setObjectName(QStringLiteral("CWallDlg"));
    setWindowTitle(uiText(text::msg::kWallCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    const RememberedChoices::Wall last = RememberedChoices::wall();
    if (isLayout(last.tilesPerPage)) tilesPerPage_ = last.tilesPerPage;
    if (last.streamChoice == 1 || last.streamChoice == 2) streamChoice_ = last.streamChoice;
    build();
    if (last.geometry.isEmpty() || !restoreGeometry(last.geometry)) {
        const QScreen* display = screen();
        const QRect room =
            display != nullptr ? display->availableGeometry() : QRect(0, 0, 1024, 700);
        resize(std::min(1100, room.width() * 9 / 10), std::min(720, room.height() * 9 / 10));
    }
    ticker_.setInterval(WallTile::kTickMs);
    connect(&ticker_, &QTimer::timeout, this, &CWallDlg::tick);
    endPoll_.setInterval(kEndPollMs);
    connect(&endPoll_, &QTimer::timeout, this, &CWallDlg::deleteOnceEnded);
}

CWallDlg::~CWallDlg() {
    // Before the workers go: each tile hands its stream to one.
    retireTiles();
    workers_.joinAll();
}

void CWallDlg::build() {
    setFocusPolicy(Qt::StrongFocus);
    auto* bar = new QHBoxLayout;
    auto* tilesLabel = new QLabel(uiText(text::msg::kWallTilesLabel), this);
    layoutBox_ = new QComboBox(this);
    layoutBox_->setObjectName(QStringLiteral("layout"));
    for (int n : kLayouts) layoutBox_->addItem(QString::number(n), n);
    auto* streamLabel = new QLabel(uiText(text::msg::kWallStreamLabel), this);
    streamBox_ = new QComboBox(this);
    streamBox_->setObjectName(QStringLiteral("stream"));
    streamBox_->addItem(QStringLiteral("D1"), 1);
    streamBox_->addItem(QStringLiteral("CIF"), 2);
    // The keys are the wall's: arrows move between tiles, not through a list's items.
    layoutBox_->setFocusPolicy(Qt::NoFocus);
    streamBox_->setFocusPolicy(Qt::NoFocus);
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("page"));
    auto* hint = new QLabel(uiText(text::msg::kWallKeysHint), this);
    hint->setObjectName(QStringLiteral("hint"));
    bar->addWidget(tilesLabel);
    bar->addWidget(layoutBox_);
    bar->addSpacing(12);
    bar->addWidget(streamLabel);
    bar->addWidget(streamBox_);
    bar->addSpacing(12);
    bar->addWidget(pageLabel_);
    bar->addStretch();
    bar->addWidget(hint);

    grid_ = new QWidget(this);
    grid_->setObjectName(QStringLiteral("grid"));
    gridLayout_ = new QGridLayout(grid_);
    gridLayout_->setContentsMargins(0, 0, 0, 0);
    gridLayout_->setSpacing(2);
    empty_ = new QLabel(uiText(text::msg::kWallNoCameras), grid_);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setVisible(cameras_.empty());
    gridLayout_->addWidget(empty_, 0, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(grid_, 1);

    layoutBox_->setCurrentIndex(layoutBox_->findData(tilesPerPage_));
    streamBox_->setCurrentIndex(streamBox_->findData(streamChoice_));
    streamBox_->setEnabled(tilesPerPage_ != 1);
    connect(layoutBox_, &QComboBox::activated, this,
            [this](int index) { setTilesPerPage(layoutBox_->itemData(index).toInt()); });
    connect(streamBox_, &QComboBox::activated, this,
            [this](int index) { setStreamChoice(streamBox_->itemData(index).toInt()); });
    showPageLabel();
}

WallTile* CWallDlg::tile(int indexOnPage) const {
    if (indexOnPage < 0 || indexOnPage >= tileCount()) return nullptr;
    return tiles_[static_cast<std::size_t>(indexOnPage)];
}

int CWallDlg::pages() const {
    const int count = static_cast<int>(cameras_.size());
    return std::max(1, (count + tilesPerPage_ - 1) / tilesPerPage_);
}

void CWallDlg::setTilesPerPage(int n) {
    if (!isLayout(n)) return;
    // The selected camera stays in view.
    const int camera = page_ * tilesPerPage_ + selected_;
    tilesPerPage_ = n;
    layoutBox_->setCurrentIndex(layoutBox_->findData(n));
    streamBox_->setEnabled(n != 1);
    page_ = camera / n;
    selected_ = camera % n;
    if (shown_) showPage(page_);
    showPageLabel();
}

void CWallDlg::setStreamChoice(int choice) {
    if (choice != 1 && choice != 2) return;
    const bool changed = choice != streamChoice_;
    streamChoice_ = choice;
    streamBox_->setCurrentIndex(streamBox_->findData(choice));
    if (changed && shown_ && tilesPerPage_ != 1) showPage(page_);
}

void CWallDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    showPage(page_);
    ticker_.start();
}

void CWallDlg::retireTiles() {
    for (WallTile* t : tiles_) {
        t->retire();
        t->hide();
        // Later: the tile may be in the middle of its own mouse event.
        t->deleteLater();
    }
    tiles_.clear();
}

void CWallDlg::showPage(int page) {
    page_ = std::clamp(page, 0, pages() - 1);
    retireTiles();
    const int first = page_ * tilesPerPage_;
    const int count = std::clamp(static_cast<int>(cameras_.size()) - first, 0, tilesPerPage_);
    const int columns = columnsFor(tilesPerPage_);
    // Every cell of this layout alike; the cells of a larger layout shown before take nothing.
    const int rows = (tilesPerPage_ + columns - 1) / columns;
    for (int c = 0; c < gridLayout_->columnCount(); ++c)
        gridLayout_->setColumnStretch(c, c < columns ? 1 : 0);
    for (int r = 0; r < gridLayout_->rowCount(); ++r)
        gridLayout_->setRowStretch(r, r < rows ? 1 : 0);
    for (int c = gridLayout_->columnCount(); c < columns; ++c) gridLayout_->setColumnStretch(c, 1);
    for (int r = gridLayout_->rowCount(); r < rows; ++r) gridLayout_->setRowStretch(r, 1);
    for (int i = 0; i < count; ++i) {
        const int index = first + i;
        auto* t = new WallTile(cameras_[static_cast<std::size_t>(index)], index, workers_, grid_);
        connect(t, &WallTile::clicked, this, [this, i] { selectTile(i); });
        connect(t, &WallTile::doubleClicked, this, [this, i] {
            selectTile(i);
            openPreview();
        });
        gridLayout_->addWidget(t, i / columns, i % columns);
        tiles_.push_back(t);
    }
    selected_ = std::clamp(selected_, 0, std::max(0, count - 1));
    for (int i = 0; i < count; ++i)
        tiles_[static_cast<std::size_t>(i)]->setSelected(i == selected_);
    // The tiles are laid out before their streams start, so that the first picture comes at
    // the tile's size.
    for (WallTile* t : tiles_) t->show();
    for (WallTile* t : tiles_) {
        const WallCamera& camera = t->camera();
        protocol::LoginInfo info;
        info.address = camera.address;
        info.port = static_cast<std::uint16_t>(camera.port);
        info.user = user_;
        info.password = password_;
        info.streamChoice = effectiveStreamChoice();
        info.deviceType = camera.type;
        t->start(info, tapFactory_ ? tapFactory_(t->index()) : nullptr);
    }
    showPageLabel();
}

void CWallDlg::showPageLabel() {
    pageLabel_->setText(uiText(text::msg::kWallPageFormat).arg(page_ + 1).arg(pages()));
}

void CWallDlg::selectTile(int indexOnPage) {
    if (indexOnPage < 0 || indexOnPage >= tileCount()) return;
    selected_ = indexOnPage;
    for (int i = 0; i < tileCount(); ++i)
        tiles_[static_cast<std::size_t>(i)]->setSelected(i == selected_);
}

void CWallDlg::moveSelection(int dx, int dy) {
    if (tiles_.empty()) return;
    const int columns = columnsFor(tilesPerPage_);
    const int row = selected_ / columns + dy;
    const int column = selected_ % columns + dx;
    if (column < 0 || column >= columns || row < 0) return;
    const int next = row * columns + column;
    if (next < tileCount()) selectTile(next);
}

void CWallDlg::tick() {
    for (WallTile* t : tiles_) t->tick();
}

void CWallDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            moveSelection(-1, 0);
            return;
        case Qt::Key_Right:
            moveSelection(1, 0);
            return;
        case Qt::Key_Up:
            moveSelection(0, -1);
            return;
        case Qt::Key_Down:
            moveSelection(0, 1);
            return;
        case Qt::Key_PageUp:
            if (page_ > 0) showPage(page_ - 1);
            return;
        case Qt::Key_PageDown:
            if (page_ + 1 < pages()) showPage(page_ + 1);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            openPreview();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CWallDlg::openPreview() {
    WallTile* chosen = tile(selected_);
    if (chosen == nullptr) return;
    const WallCamera camera = chosen->camera();
    protocol::LoginInfo info;
    info.address = camera.address;
    info.port = static_cast<std::uint16_t>(camera.port);
    info.user = user_;
    info.password = password_;
    info.streamChoice = 0;
    info.deviceType = camera.type;
    // The page pauses: the preview's main stream wants the cores the tiles would take.
    ticker_.stop();
    retireTiles();
    if (previewOpener_) {
        previewOpener_(info, camera);
    } else {
        runPreview(info, camera);
    }
    if (closed_ || !isVisible()) return;
    showPage(page_);
    ticker_.start();
}

void CWallDlg::runPreview(const protocol::LoginInfo& info, const WallCamera& camera) {
    auto dialog = std::make_unique<CViewDlg>(this);
    dialog->SetConnectInfo(info.address, info.port, info.user, info.password, info.streamChoice,
                           info.deviceType);
    dialog->setDeviceName(camera.name);
    dialog->exec();
    CViewDlg::release(std::move(dialog));
}

void CWallDlg::remember() {
    RememberedChoices::rememberWall({tilesPerPage_, streamChoice_, saveGeometry()});
}

void CWallDlg::done(int result) {
    if (!closed_) {
        closed_ = true;
        remember();
        ticker_.stop();
        retireTiles();
    }
    QDialog::done(result);
}

void CWallDlg::run(std::vector<WallCamera> cameras, std::u16string_view user,
                   std::u16string_view password, QWidget* parent) {
    auto wall = std::make_unique<CWallDlg>(std::move(cameras), protocol::narrowCredential(user),
                                           protocol::narrowCredential(password), parent);
    wall->exec();
    release(std::move(wall));
}

void CWallDlg::release(std::unique_ptr<CWallDlg> dialog) {
    if (!dialog) return;
    dialog->hide();
    dialog->retireTiles();
    if (dialog->workers_.allEnded()) return;
    // Streams still starting or stopping: the window goes once they ended.
    CWallDlg* kept = dialog.release();
    kept->endPoll_.start();
}

void CWallDlg::deleteOnceEnded() {
    if (!workers_.allEnded()) return;
    endPoll_.stop();
    deleteLater();
}

}  // namespace tarvo::gui
