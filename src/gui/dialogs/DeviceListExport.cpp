#include "dialogs/DeviceListExport.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

#include "common/MessageBoxes.h"
#include "common/UiText.h"
#include "core/discovery/CsvExport.h"
#include "core/discovery/DeviceTable.h"
#include "core/text/Messages.h"

namespace tarvo::gui {

void exportDeviceList(QWidget* parent, const discovery::DeviceTable& table) {
    // The rows as they are now: the list may change while the file dialog is open.
    const std::string csv = discovery::deviceListCsv(table.rows());
    const QString suggested = QDir::home().filePath(
        QStringLiteral("tarvo-devices-%1.csv").arg(QDate::currentDate().toString(Qt::ISODate)));
    const QString path = QFileDialog::getSaveFileName(parent, uiText(u"导出列表…"), suggested,
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    // Written aside and renamed over the target, so a failure leaves no half-written list.
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(csv.data(), static_cast<qint64>(csv.size())) ==
                             static_cast<qint64>(csv.size()) &&
                         file.commit();
    if (!written) showSystemError(parent, uiText(text::msg::kExportFailed));
}

}  // namespace tarvo::gui
