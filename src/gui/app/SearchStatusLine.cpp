#include "app/SearchStatusLine.h"

#include <QEvent>
#include <QTimer>

#include "common/UiText.h"

namespace tarvo::gui {

SearchStatusLine::SearchStatusLine(Source source, QWidget* parent)
    : QLabel(parent), source_(std::move(source)), settle_(new QTimer(this)) {
    setObjectName(QStringLiteral("searchStatus"));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, &SearchStatusLine::refresh);
}

void SearchStatusLine::searchStarted() {
    settle_->start();
}

void SearchStatusLine::refresh() {
    const discovery::SearchDiagnosis diagnosis = source_();
    setText(dataText(discovery::diagnosisSummary(diagnosis)));
    setToolTip(details(diagnosis));
}

QString SearchStatusLine::details(const discovery::SearchDiagnosis& diagnosis) {
    QString html = QStringLiteral("<qt><table cellspacing=\"0\" cellpadding=\"2\">");
    bool header = true;
    for (const auto& line : discovery::diagnosisTable(diagnosis)) {
        html += QStringLiteral("<tr>");
        for (std::size_t c = 0; c < line.size(); ++c) {
            const QString cell = dataText(line[c]).toHtmlEscaped();
            const QString align = c < 2 ? QStringLiteral("left") : QStringLiteral("right");
            // The tooltip would wrap the headers letter by letter to keep narrow.
            html += header ? QStringLiteral("<th align=\"%1\" style=\"white-space:pre\">%2</th>")
                                 .arg(align, cell)
                           : QStringLiteral("<td align=\"%1\" style=\"white-space:pre\">%2</td>")
                                 .arg(align, cell);
        }
        html += QStringLiteral("</tr>");
        header = false;
    }
    html += QStringLiteral("</table>");
    for (const auto& hint : discovery::hintTexts(diagnosis))
        html += QStringLiteral("<p style=\"white-space:pre\">%1</p>")
                    .arg(dataText(hint).toHtmlEscaped());
    return html + QStringLiteral("</qt>");
}

bool SearchStatusLine::event(QEvent* event) {
    // The figures as they are when the user asks, not as they were when the line was filled.
    if (event->type() == QEvent::ToolTip) refresh();
    return QLabel::event(event);
}

}  // namespace tarvo::gui
