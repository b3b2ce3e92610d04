#include "common/BackgroundStep.h"

#include <QApplication>

#include <mutex>
#include <vector>

namespace tarvo::gui::detail {

namespace {

// The threads of abandoned steps. Each ends within its exchange's time-outs; the last ones
// are joined when the program ends normally.
class Orphans {
public:
    ~Orphans() {
        std::lock_guard guard(mutex_);
        for (auto& orphan : orphans_) orphan.thread.join();
    }
    void keep(std::thread thread, std::shared_ptr<std::atomic<bool>> ended) {
        std::lock_guard guard(mutex_);
        std::erase_if(orphans_, [](Orphan& orphan) {
            if (!orphan.ended->load()) return false;
            orphan.thread.join();
            return true;
        });
        if (thread.joinable()) orphans_.push_back({std::move(thread), std::move(ended)});
    }

private:
    struct Orphan {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::mutex mutex_;
    std::vector<Orphan> orphans_;
};

Orphans& orphans() {
    static Orphans keeper;
    return keeper;
}

}  // namespace

void keepUntilDone(std::thread thread, std::shared_ptr<std::atomic<bool>> ended) {
    orphans().keep(std::move(thread), std::move(ended));
}

void showBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace tarvo::gui::detail
