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

// The camera firmware upgrade dialog: shows the camera's version, lets the user pick a package
// and streams it from a worker with a progress bar. Closing the dialog stops a running upload
// and waits for its worker; the connection stays open for the next camera upgrade.
class CUpGrade final : public QDialog {
    Q_OBJECT
public:
    // Asks the user for a package file: the full path, empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& filter)>;

    explicit CUpGrade(QWidget* parent = nullptr);
    ~CUpGrade() override;

    // Before the dialog is shown. Returns 1.
    int SetTarget(int port, std::string_view address);
    // Replaces the open-file dialog (tests).
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    [[nodiscard]] const QString& packagePath() const { return packagePath_; }
    [[nodiscard]] upgrade::FirmwareUploader& uploader() { return uploader_; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Hands the worker's reports to the dialog's thread.
    class Observer final : public upgrade::UploadObserver {
    public:
        explicit Observer(CUpGrade& dialog) : dialog_(dialog) {}
        void uploadStarted(int progressUpper, std::uint32_t fileSize) override;
        void uploadProgress(int position, std::uint64_t bytesSent) override;
        void uploadFinished(const upgrade::UploadOutcome& outcome) override;

    private:
        CUpGrade& dialog_;
    };

    void build();
    void OnInitDialog();
    void OnBrowse();
    void OnUpgrade();
    void onStarted(int progressUpper);
    void onProgress(int position);
    void onFinished(const upgrade::UploadOutcome& outcome);

    Observer observer_{*this};
    // After the observer: destroyed first, which stops and joins its worker.
    upgrade::FirmwareUploader uploader_;
    QString packagePath_;
    FileChooser chooseFile_;
    bool initialised_ = false;

    QLabel* version_ = nullptr;
    QLineEdit* path_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace tarvo::gui
