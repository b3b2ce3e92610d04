#pragma once

#include <QLabel>

#include <functional>

#include "core/discovery/SearchDiagnosis.h"

class QTimer;

namespace tarvo::gui {

// The main window's line under the list: what the last search met (interfaces, replies,
// devices, dropped replies), with each interface's figures and the hints on hover.
class SearchStatusLine final : public QLabel {
    Q_OBJECT
public:
    using Source = std::function<discovery::SearchDiagnosis()>;

    // Replies keep coming for a while after the request: the line is filled this long after a
    // search starts, and again whenever the mouse rests on it.
    static constexpr int kSettleMs = 3000;

    SearchStatusLine(Source source, QWidget* parent);

    // A search started (the window's thread only).
    void searchStarted();
    // Reads the figures now.
    void refresh();

    // The tooltip's text for `diagnosis`: a table per interface, then the hints.
    static QString details(const discovery::SearchDiagnosis& diagnosis);

protected:
    bool event(QEvent* event) override;

private:
    Source source_;
    QTimer* settle_ = nullptr;
};

}  // namespace tarvo::gui
