#pragma once

#include <QEventLoop>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "common/UiQueue.h"
#include "common/UiWait.h"

namespace tarvo::gui {

namespace detail {
// Takes the thread of a step whose outcome nobody waits for any more: it ends by its own
// time-outs and is joined then, or when the program ends. No thread is ever killed.
void keepUntilDone(std::thread thread, std::shared_ptr<std::atomic<bool>> ended);
// The busy cursor, shown while any step runs.
void showBusy(bool busy);
}  // namespace detail

// One network exchange (connect, login, a query) run on a worker so that the window never
// waits for the network: the outcome comes back through a UiQueue to the receiver's thread,
// the busy cursor shows meanwhile, and cancelling (or destroying the step, as a closing window
// does) drops the outcome at once without waiting for the worker. The work must own what it
// uses: it may outlive the window that started it.
template <typename Result>
class BackgroundStep {
public:
    using Work = std::function<Result()>;
    using Done = std::function<void(Result&)>;

    explicit BackgroundStep(QObject* receiver) : receiver_(receiver) {}
    ~BackgroundStep() { cancel(); }
    BackgroundStep(const BackgroundStep&) = delete;
    BackgroundStep& operator=(const BackgroundStep&) = delete;

    // Starts `work`; `done` gets its outcome on the receiver's thread. A step still running is
    // cancelled first.
    void start(Work work, Done done) {
        cancel();
        done_ = std::move(done);
        queue_ = std::make_shared<UiQueue<Result>>(receiver_, [this](Result& r) { finish(r); });
        ended_ = std::make_shared<std::atomic<bool>>(false);
        running_ = true;
        detail::showBusy(true);
        worker_ = std::thread([work = std::move(work), queue = queue_, ended = ended_] {
            queue->push(work());
            *ended = true;
        });
    }

    // Drops the outcome of the step that runs; its worker ends on its own.
    void cancel() {
        if (dropOutcome()) detail::keepUntilDone(std::move(worker_), std::move(ended_));
    }

    // Drops the outcome and waits for the worker: for a step whose work uses what its owner is
    // about to destroy.
    void cancelAndJoin() {
        if (!dropOutcome()) return;
        if (worker_.joinable()) worker_.join();
        ended_.reset();
    }

    [[nodiscard]] bool running() const { return running_; }

private:
    // Ends the wait of a running step: its outcome will not be delivered. False when none runs.
    bool dropOutcome() {
        if (!running_) return false;
        running_ = false;
        detail::showBusy(false);
        queue_->close();
        queue_.reset();
        return true;
    }

    void finish(Result& result) {
        if (!running_) return;
        running_ = false;
        detail::showBusy(false);
        // It handed its outcome over and ends now.
        if (worker_.joinable()) worker_.join();
        ended_.reset();
        Done done = std::move(done_);
        done(result);
    }

    QObject* receiver_;
    Done done_;
    std::shared_ptr<UiQueue<Result>> queue_;
    std::shared_ptr<std::atomic<bool>> ended_;
    std::thread worker_;
    bool running_ = false;
};

// Runs `work` off the window's thread and waits for its outcome with the event loop running:
// the windows repaint and move, clicks and keys are swallowed so that no second operation
// starts, and Esc cancels the wait. Nothing when it was cancelled.
template <typename Result>
std::optional<Result> waitOffThread(std::function<Result()> work) {
    QEventLoop loop;
    std::optional<Result> outcome;
    BackgroundStep<Result> step(&loop);
    const InputGate gate([&loop] { loop.quit(); });
    step.start(std::move(work), [&](Result& result) {
        outcome = std::move(result);
        loop.quit();
    });
    loop.exec();
    return outcome;
}

}  // namespace tarvo::gui
