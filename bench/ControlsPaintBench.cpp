// Paint time of the owner-drawn controls at the sizes the windows give them, each against the
// standard Qt control of the same size painted in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/CXPButton.h"

using tarvo::gui::CGradientProgressCtrl;
using tarvo::gui::CXPButton;

namespace {

// Typical sizes: a dialog button (50 x 14 dialog units) and the upload windows' bar.
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kBarWidth = 330;
constexpr int kBarHeight = 16;

// One full paint of the widget into an image, as the backing store would get it.
void paintLoop(benchmark::State& state, QWidget& widget) {
    QImage target(widget.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        widget.render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_XPButton(benchmark::State& state) {
    CXPButton button(QStringLiteral("Upgrade"));
    button.resize(kButtonWidth, kButtonHeight);
    button.setDown(state.range(0) != 0);
    paintLoop(state, button);
}
BENCHMARK(BM_XPButton)->Arg(0)->Arg(1);

void BM_ReferencePushButton(benchmark::State& state) {
    QPushButton button(QStringLiteral("Upgrade"));
    button.resize(kButtonWidth, kButtonHeight);
    paintLoop(state, button);
}
BENCHMARK(BM_ReferencePushButton);

// Argument: percent done on a bar of 0..100.
void BM_GradientProgress(benchmark::State& state) {
    CGradientProgressCtrl bar(CGradientProgressCtrl::upgradeColours(), nullptr);
    bar.resize(kBarWidth, kBarHeight);
    bar.SetRange(0, 100);
    bar.SetPos(static_cast<int>(state.range(0)));
    paintLoop(state, bar);
}
BENCHMARK(BM_GradientProgress)->Arg(10)->Arg(50)->Arg(99);

void BM_ReferenceProgressBar(benchmark::State& state) {
    QProgressBar bar;
    bar.resize(kBarWidth, kBarHeight);
    bar.setRange(0, 100);
    bar.setValue(static_cast<int>(state.range(0)));
    paintLoop(state, bar);
}
BENCHMARK(BM_ReferenceProgressBar)->Arg(50);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions.data(), interleave.data(), aggregates.data()});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    // Paints per second of the subject over the reference's: below 1 is slower.
    RatioReporter reporter({{"BM_XPButton/0", "BM_ReferencePushButton"},
                            {"BM_XPButton/1", "BM_ReferencePushButton"},
                            {"BM_GradientProgress/10", "BM_ReferenceProgressBar/50"},
                            {"BM_GradientProgress/50", "BM_ReferenceProgressBar/50"},
                            {"BM_GradientProgress/99", "BM_ReferenceProgressBar/50"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
