#include "report/PdfReport.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "core/site/SiteFile.h"
#include "core/site/SiteReport.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::report {

namespace {

// The layout's own units: CSS pixels, 96 to the inch, as the HTML report's sizes are given.
constexpr double kLayoutDpi = 96.0;
constexpr double kMarginMm = 15.0;
constexpr int kPdfDpi = 300;
// Above a heading that follows a table (layout units).
constexpr double kHeadingSpace = 18.0;

[[noreturn]] void failed(const std::string& path) {
    throw site::ReportError(text::toUtf8(
        text::formatText(text::tr(text::msg::kReportWriteFailedFormat),
                         {text::fromUtf8(path), text::tr(text::msg::kReportPdfFailed)})));
}

// Places blocks of HTML one under the other on the pages; a block that does not fit below the
// last starts a new page, under the head that `pageHead` gives (if any).
class PageFlow {
public:
    PageFlow(QPdfWriter& writer, QPainter& painter)
        : writer_(writer), painter_(painter), scale_(writer.resolution() / kLayoutDpi) {
        width_ = writer.width() / scale_;
        height_ = writer.height() / scale_;
        painter_.scale(scale_, scale_);
        font_ = QFont(QStringLiteral("WenQuanYi Micro Hei"));
        font_.setPointSizeF(9.5);
        style_ = QString::fromStdString(site::SiteReport::styleSheet());
    }

    // A document of one block, at the page's width.
    std::unique_ptr<QTextDocument> layOut(const std::string& html,
                                          const QImage& picture = {}) const {
        auto doc = std::make_unique<QTextDocument>();
        doc->setDefaultFont(font_);
        doc->setDefaultStyleSheet(style_);
        doc->setDocumentMargin(0);
        if (!picture.isNull())
            doc->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("thumb:0")),
                             picture);
        doc->setHtml(QString::fromStdString(html));
        doc->setTextWidth(width_);
        return doc;
    }

    void setPageHead(std::function<std::string()> head) { pageHead_ = std::move(head); }

    // Space before the next block, as a heading's margin would give it, unless at a page's top
    // (each block is a document of its own, whose first margin Qt leaves out).
    void space(double height) {
        if (y_ > 0) y_ = std::min(y_ + height, height_);
    }

    void place(QTextDocument& doc) {
        const double height = doc.size().height();
        if (y_ > 0 && y_ + height > height_) {
            newPage();
            if (pageHead_) {
                const auto head = layOut(pageHead_());
                draw(*head);
            }
        }
        if (height <= height_ - y_) {
            draw(doc);
            return;
        }
        // Taller than a page: the only block that is cut, page by page.
        for (double offset = 0; offset < height; offset += height_) {
            if (offset > 0) newPage();
            painter_.save();
            painter_.translate(0, -offset);
            doc.drawContents(&painter_, QRectF(0, offset, width_, height_));
            painter_.restore();
        }
        y_ = height - (static_cast<int>(height / height_)) * height_;
    }
    void place(const std::string& html, const QImage& picture = {}) {
        const auto doc = layOut(html, picture);
        place(*doc);
    }

private:
    void newPage() {
        if (!writer_.newPage()) throw std::runtime_error("page");
        y_ = 0;
    }
    void draw(QTextDocument& doc) {
        painter_.save();
        painter_.translate(0, y_);
        doc.drawContents(&painter_, QRectF(0, 0, width_, doc.size().height()));
        painter_.restore();
        y_ += doc.size().height();
    }

    QPdfWriter& writer_;
    QPainter& painter_;
    double scale_;
    double width_ = 0, height_ = 0, y_ = 0;
    QFont font_;
    QString style_;
    std::function<std::string()> pageHead_;
};

// The thumbnail's pixels as they are, for the painter: decoded once, never coded again.
QImage imageOf(const site::Thumbnail& thumbnail) {
    if (thumbnail.empty()) return {};
    const auto& image = thumbnail.image;
    return QImage(image.plane(0), image.width(), image.height(), image.stride(0),
                  QImage::Format_RGB888)
        .copy();
}

std::string table(const std::string& rows) {
    return site::SiteReport::tableStart() + rows + "</table>";
}

// The heading, the summary and the device table; the heading stays with the table's head and
// first row.
void placeDevices(PageFlow& flow, const site::SiteReport& report) {
    const auto& devices = report.devices();
    if (devices.empty()) {
        flow.place(report.heading() + report.summary() + report.devicesHeading() +
                   report.noDevices());
        return;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const auto thumbnail = report.thumbnail(devices[i]);
        const QImage picture = imageOf(thumbnail);
        const std::string row =
            report.deviceRow(devices[i], picture.isNull() ? "" : "thumb:0", thumbnail);
        if (i == 0) {
            flow.place(report.heading() + report.summary() + report.devicesHeading() +
                           table(report.deviceHeaderRow() + row),
                       picture);
            flow.setPageHead([&] { return table(report.deviceHeaderRow()); });
        } else {
            flow.place(table(row), picture);
        }
    }
    flow.setPageHead({});
}

void placeLog(PageFlow& flow, const site::SiteReport& report) {
    flow.space(kHeadingSpace);
    const auto& actions = report.actions();
    if (actions.empty()) {
        flow.place(report.logHeading() + report.noActions());
        return;
    }
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const std::string row = report.logRow(actions[i]);
        if (i == 0) {
            flow.place(report.logHeading() + table(report.logHeaderRow() + row));
            flow.setPageHead([&] { return table(report.logHeaderRow()); });
        } else {
            flow.place(table(row));
        }
    }
    flow.setPageHead({});
}

}  // namespace

void writePdfReport(const site::SiteFile& site, const std::string& path) {
    const site::SiteReport report(site);
    site::ReplacingFile file(path);
    {
        QFile out(QString::fromStdString(file.temporaryPath()));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw site::ReportError(site::reportWriteError(path, EACCES));
        QPdfWriter writer(&out);
        writer.setResolution(kPdfDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));
        writer.setTitle(
            QTextDocumentFragment::fromHtml(QString::fromStdString(report.title())).toPlainText());
        writer.setCreator(QStringLiteral("Tarvo"));
        QPainter painter;
        if (!painter.begin(&writer)) failed(path);
        try {
            PageFlow flow(writer, painter);
            placeDevices(flow, report);
            placeLog(flow, report);
        } catch (const site::SiteError& e) {
            painter.end();
            throw site::ReportError(e.what());
        } catch (const std::runtime_error&) {
            painter.end();
            failed(path);
        }
        if (!painter.end()) failed(path);
        // A full disk shows here, not in the painter.
        if (!out.flush() || out.error() != QFileDevice::NoError) failed(path);
        out.close();
    }
    file.commit();
}

OffscreenGui::OffscreenGui() {
    if (QCoreApplication::instance() != nullptr) return;
    // Reports need fonts, never a screen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tarvo-cli";
    static char* argv[] = {name, nullptr};
    // Qt's own notes (no runtime folder, no session bus) are not for the command line's user,
    // whose standard error carries the program's messages.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    app_ = std::make_unique<QGuiApplication>(argc, argv);
}

OffscreenGui::~OffscreenGui() = default;

}  // namespace tarvo::report
