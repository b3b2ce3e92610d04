#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/preview/CCamStreamClient.h"
#include "wall/WallTile.h"

class QComboBox;
class QGridLayout;
class QLabel;

namespace tarvo::gui {

// The wall: many cameras' live pictures at once, for aiming and focusing them and for walking a
// site's cameras at the end. 1, 4, 9 or 16 tiles a page, as many pages as the cameras need;
// each tile plays the D1 stream (CIF on request, the main stream when one tile fills the page),
// shows its rates and picture flags, and the selected one a focus meter. Arrows move the
// selection, Page Up and Down the pages, Enter or a double click opens the full preview.
//
// Set-ups run on workers; closing the window never waits for a device. A window whose exec()
// returned is handed to release(), which deletes it once its workers ended.
class CWallDlg final : public QDialog {
    Q_OBJECT
public:
    // `user` and `password` in the device's text encoding, as the login step narrowed them.
    CWallDlg(std::vector<WallCamera> cameras, std::string user, std::string password,
             QWidget* parent = nullptr);
    ~CWallDlg() override;

    static constexpr int kLayouts[] = {1, 4, 9, 16};

    void setTilesPerPage(int n);       // 1, 4, 9, 16
    void setStreamChoice(int choice);  // 1 D1 (default), 2 CIF; one tile uses 0
    [[nodiscard]] int tilesPerPage() const { return tilesPerPage_; }
    [[nodiscard]] int streamChoice() const { return streamChoice_; }
    // The stream the tiles of the page ask for.
    [[nodiscard]] int effectiveStreamChoice() const {
        return tilesPerPage_ == 1 || mainStreams_ ? 0 : streamChoice_;
    }
    // Before the window shows: every tile plays its camera's main stream, whatever the layout
    // (for measuring a wall of main streams; not offered to the user).
    void setMainStreams(bool on) { mainStreams_ = on; }

    // Before the window shows: a packet tap for the tile of camera `index`.
    using TapFactory = std::function<preview::CCamStreamClient::PacketTap(int index)>;
    void setPacketTapFactory(TapFactory factory) { tapFactory_ = std::move(factory); }

    [[nodiscard]] int tileCount() const { return static_cast<int>(tiles_.size()); }
    [[nodiscard]] WallTile* tile(int indexOnPage) const;
    [[nodiscard]] int page() const { return page_; }
    [[nodiscard]] int pages() const;
    void showPage(int page);

    [[nodiscard]] int selectedTile() const { return selected_; }
    void selectTile(int indexOnPage);
    // The full preview of the selected tile's camera (modal); the page pauses meanwhile.
    void openPreview();

    // Runs a wall (modal) of `cameras` with credentials as typed, narrowed to the device
    // encoding here; then releases it.
    static void run(std::vector<WallCamera> cameras, std::u16string_view user,
                    std::u16string_view password, QWidget* parent);

    // Ends a window whose exec() returned: at once, or once its workers ended.
    static void release(std::unique_ptr<CWallDlg> dialog);

    void done(int result) override;

    // Tests: how the preview is opened (default: a modal CViewDlg).
    using PreviewOpener = std::function<void(const protocol::LoginInfo&, const WallCamera&)>;
    void setPreviewOpener(PreviewOpener opener) { previewOpener_ = std::move(opener); }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void retireTiles();
    void tick();
    void moveSelection(int dx, int dy);
    void showPageLabel();
    void showStreamChoice();
    void remember();
    void runPreview(const protocol::LoginInfo& info, const WallCamera& camera);
    void deleteOnceEnded();

    std::vector<WallCamera> cameras_;
    std::string user_;
    std::string password_;
    int tilesPerPage_ = 9;
    bool mainStreams_ = false;
    int streamChoice_ = 1;
    int page_ = 0;
    int selected_ = 0;
    bool shown_ = false;
    bool closed_ = false;
    TapFactory tapFactory_;
    PreviewOpener previewOpener_;
    WallWorkers workers_;
    std::vector<WallTile*> tiles_;
    QComboBox* layoutBox_ = nullptr;
    QComboBox* streamBox_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QWidget* grid_ = nullptr;
    QGridLayout* gridLayout_ = nullptr;
    QLabel* empty_ = nullptr;
    QTimer ticker_;
    QTimer endPoll_;
};

}  // namespace tarvo::gui
