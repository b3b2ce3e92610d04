#pragma once

#include <QMetaObject>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tarvo::gui {

// Hands items from any thread to the thread of a receiving object, in the order they came.
// `push` queues an item under a lock and returns at once; one queued call per burst hands the
// items to the handler one by one on the receiver's thread, so a handler that opens a modal box
// sees the next item only after it returned. The items travel through this lock, not inside
// Qt's posted events, so their hand-over is visible to the thread checker. Pushing is queued
// even on the receiver's own thread, so nothing overtakes what was pushed before it.
template <typename Item>
class UiQueue {
public:
    using Handler = std::function<void(Item&)>;
    // Items handled in one go; a flood then lets the receiver's thread take other work.
    static constexpr int kBatch = 1000;

    UiQueue(QObject* receiver, Handler handler)
        : receiver_(receiver), state_(std::make_shared<State>()) {
        state_->handler = std::move(handler);
    }
    ~UiQueue() { close(); }
    UiQueue(const UiQueue&) = delete;
    UiQueue& operator=(const UiQueue&) = delete;

    // From any thread.
    void push(Item item) {
        {
            std::lock_guard guard(state_->mutex);
            if (state_->closed) return;
            state_->items.push_back(std::move(item));
            if (state_->scheduled) return;
            state_->scheduled = true;
        }
        post(receiver_, state_);
    }

    // Drops what waits and everything pushed later; a call already on its way does nothing.
    void close() {
        std::lock_guard guard(state_->mutex);
        state_->closed = true;
        state_->items.clear();
    }

private:
    // Shared with the queued call, which may run after the queue is gone.
    struct State {
        std::mutex mutex;
        std::deque<Item> items;  // guarded by mutex
        bool scheduled = false;  // guarded by mutex: a handing-over call is on its way
        bool closed = false;     // guarded by mutex
        Handler handler;         // runs on the receiver's thread only
    };

    static void post(QObject* receiver, const std::shared_ptr<State>& state) {
        QMetaObject::invokeMethod(
            receiver, [receiver, state] { drain(receiver, state); }, Qt::QueuedConnection);
    }

    static void drain(QObject* receiver, const std::shared_ptr<State>& state) {
        for (int handled = 0; handled < kBatch; ++handled) {
            std::optional<Item> next;
            {
                std::lock_guard guard(state->mutex);
                if (state->closed || state->items.empty()) {
                    state->scheduled = false;
                    return;
                }
                next.emplace(std::move(state->items.front()));
                state->items.pop_front();
            }
            state->handler(*next);
        }
        post(receiver, state);
    }

    QObject* receiver_;
    std::shared_ptr<State> state_;
};

}  // namespace tarvo::gui
