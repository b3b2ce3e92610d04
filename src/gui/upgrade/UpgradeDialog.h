#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string_view>

#include "common/BackgroundStep.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/upgrade/FirmwareUploader.h"
#include "resources/UpgradeTemplates.h"
#include "upgrade/UploadReports.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvo::gui {

class CGradientProgressCtrl;

// A firmware upgrade dialog, built from its layout and driven by its upload profile: shows the
// device's version, lets the user pick a file and streams it from a worker with a progress bar.
// Closing the dialog stops a running upload and waits for its worker. What the camera and the
// NVR do differently (their busy rule, the NVR's part names) is in CUpGrade and CNVRUpgradeDlg.
class UpgradeDialog : public QDialog {
    Q_OBJECT
public:
    // Asks the user for a file: the full path, empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& filter)>;

    ~UpgradeDialog() override;

    // Before the dialog is shown. Returns 1.
    int SetTarget(int port, std::string_view address);
    // Replaces the open-file dialog (tests).
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    [[nodiscard]] const QString& packagePath() const { return packagePath_; }
    [[nodiscard]] upgrade::FirmwareUploader& uploader() { return uploader_; }

    void done(int result) override;
    // True while the connection and the version query run; nothing is uploaded meanwhile.
    [[nodiscard]] bool waiting() const { return connecting_.running(); }

protected:
    // `nvr` picks the remembered firmware folder.
    UpgradeDialog(const upgrade::UpgradeProfile& profile, const tmpl::UpgradeLayout& layout,
                  bool nvr, QWidget* parent);

    void showEvent(QShowEvent* event) override;
    virtual void onInitDialog();
    virtual void onBrowse() = 0;
    virtual void onUpgrade() = 0;
    // After an attempt whose outcome closes the dialog, once its message has been read.
    virtual void closeAfterAttempt() { reject(); }

    // Asks for a file; when one was chosen it is remembered, shown and returned.
    QString choosePackage();

private:
    UploadReports reports_{this, [this](const UploadReports::Report& r) { onReport(r); }};

protected:
    upgrade::FirmwareUploader uploader_;  // after the reports: stopped and joined first
    QString packagePath_;
    QLabel* status_ = nullptr;
    QPushButton* upgrade_ = nullptr;

private:
    void build();
    void onReport(const UploadReports::Report& report);
    void onFinished(const upgrade::UploadOutcome& outcome);
    void showVersion(const QString& version);
    void onConnected(ops::UpgradeConnection& connection);

    const upgrade::UpgradeProfile& profile_;
    const tmpl::UpgradeLayout& layout_;
    bool nvr_;
    FileChooser chooseFile_;
    bool initialised_ = false;

    QLineEdit* address_ = nullptr;      // null when the layout shows no address
    QLabel* versionText_ = nullptr;     // the version as a label, or
    QLineEdit* versionEdit_ = nullptr;  // in a read-only edit
    QLineEdit* path_ = nullptr;
    CGradientProgressCtrl* progress_ = nullptr;
    // Connect and version, off the window's thread; cancelled when the dialog closes.
    BackgroundStep<ops::UpgradeConnection> connecting_{this};
};

}  // namespace tarvo::gui
