#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string_view>

#include "core/upgrade/FirmwareUploader.h"
#include "upgrade/UploadReports.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvo::gui {

class CGradientProgressCtrl;

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
    void build();
    void OnInitDialog();
    void OnBrowse();
    void OnUpgrade();
    void onReport(const UploadReports::Report& report);
    void onFinished(const upgrade::UploadOutcome& outcome);

    UploadReports reports_{this, [this](const UploadReports::Report& r) { onReport(r); }};
    // After the reports: destroyed first, which stops and joins its worker.
    upgrade::FirmwareUploader uploader_;
    QString packagePath_;
    FileChooser chooseFile_;
    bool initialised_ = false;

    QLabel* version_ = nullptr;
    QLineEdit* path_ = nullptr;
    CGradientProgressCtrl* progress_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace tarvo::gui
