#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string_view>

#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/UploadObserver.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tarvo::gui {

// The NVR firmware upgrade dialog: one part file (boot loader, environment, root file system or
// kernel, told by the file name) streamed from a worker. The dialog closes after every attempt
// and closes its connection; the next upgrade connects again.
class CNVRUpgradeDlg final : public QDialog {
    Q_OBJECT
public:
    using FileChooser = std::function<QString(QWidget* parent, const QString& filter)>;

    explicit CNVRUpgradeDlg(QWidget* parent = nullptr);
    ~CNVRUpgradeDlg() override;

    // Before the dialog is shown. Returns 1.
    int SetTarget(int port, std::string_view address);
    // Replaces the open-file dialog (tests).
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    [[nodiscard]] const QString& partPath() const { return partPath_; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    class Observer final : public upgrade::UploadObserver {
    public:
        explicit Observer(CNVRUpgradeDlg& dialog) : dialog_(dialog) {}
        void uploadStarted(int progressUpper, std::uint32_t fileSize) override;
        void uploadProgress(int position, std::uint64_t bytesSent) override;
        void uploadFinished(const upgrade::UploadOutcome& outcome) override;

    private:
        CNVRUpgradeDlg& dialog_;
    };

    void build();
    void OnInitDialog();
    void OnBrowse();
    void OnUpgrade();
    void onStarted(int progressUpper);
    void onProgress(int position);
    void onFinished(const upgrade::UploadOutcome& outcome);

    Observer observer_{*this};
    upgrade::FirmwareUploader uploader_;  // after the observer: stopped and joined first
    QString partPath_;
    FileChooser chooseFile_;
    bool initialised_ = false;

    QLineEdit* address_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* path_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* upgrade_ = nullptr;
};

}  // namespace tarvo::gui
