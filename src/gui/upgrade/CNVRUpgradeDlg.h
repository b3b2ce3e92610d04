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
    void build();
    void OnInitDialog();
    void OnBrowse();
    void OnUpgrade();
    void onReport(const UploadReports::Report& report);
    void onFinished(const upgrade::UploadOutcome& outcome);

    UploadReports reports_{this, [this](const UploadReports::Report& r) { onReport(r); }};
    upgrade::FirmwareUploader uploader_;  // after the reports: stopped and joined first
    QString partPath_;
    FileChooser chooseFile_;
    bool initialised_ = false;

    QLineEdit* address_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* path_ = nullptr;
    CGradientProgressCtrl* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* upgrade_ = nullptr;
};

}  // namespace tarvo::gui
