#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace shoulu {

// Works through items one at a time, in the order they were handed in, on a thread of its own,
// and announces the outcomes the work tells on the thread that made the owner (which needs an
// event loop), in the order told. Everything the threads share goes through the worker's own
// mutex, which (unlike Qt's event queue) ThreadSanitizer sees; the owner's thread is only
// posted an argument-free call to come and look.
//   SerialWorker<Row, Outcome> worker(this, { .work = ..., .announce = ... }); worker.post(row);
template <typename Item, typename Outcome> class SerialWorker
{
public:
    struct Hooks
    {
        // Worker's thread. Nothing: the item is done with. A pause in ms: the item stays first
        // in line and is tried again after it, every item behind it waiting too.
        std::function<std::optional<int>(Item& item)> work;
        // Owner's thread, one outcome at a time: the owner may stop or even delete the worker.
        std::function<void(Outcome& outcome)> announce;
        // Worker's thread, after the last item it works on.
        std::function<void()> ended = {};
    };
    enum class Ending {
        Finish, // the items handed in so far are worked through first
        Abandon, // at once; an item under way finishes, the rest are handed back
    };
    struct Leftovers
    {
        std::deque<Item> items; // never done, in order
        std::deque<Outcome> outcomes; // told but not announced, in order
    };

    // The owner must outlive the worker; the thread starts here.
    SerialWorker(QObject* owner, Hooks hooks)
        : m_owner(owner)
        , m_hooks(std::move(hooks))
        , m_thread([this] { run(); })
    { }
    ~SerialWorker() { stop(Ending::Abandon); }
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Items handed in after stop() are kept, never worked on: the next stop() hands them back.
    void post(Item item)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_items.push_back(std::move(item));
        }
        m_wake.notify_one();
    }
    // Runs `task` on the worker's thread ahead of the items, even while the first one pauses.
    void interject(std::function<void()> task)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
    }
    // From the work: the outcome is announced on the owner's thread.
    void tell(Outcome outcome)
    {
        bool post = false;
        {
            const std::lock_guard lock(m_mutex);
            m_outbox.push_back(std::move(outcome));
            post = !std::exchange(m_announcePosted, true);
        }
        if (post) {
            QMetaObject::invokeMethod(
                m_owner, [this] { announcePending(); }, Qt::QueuedConnection);
        }
    }
    // Set once stopping begins: a long wait inside the work may look at it to give up early.
    const std::atomic<bool>* stopFlag() const { return &m_stopping; }
    // Returns once every item handed in so far is done with.
    void waitUntilIdle()
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_items.empty() && !m_busy; });
    }
    bool onOwnerThread() const { return QThread::currentThread() == m_owner->thread(); }
    // Owner's thread: announces now what has been told and not yet announced.
    void announcePending()
    {
        const QPointer<QObject> alive(m_owner);
        {
            const std::lock_guard lock(m_mutex);
            m_announcePosted = false;
        }
        while (alive) {
            std::optional<Outcome> outcome;
            {
                const std::lock_guard lock(m_mutex);
                if (m_outbox.empty()) {
                    return;
                }
                outcome.emplace(std::move(m_outbox.front()));
                m_outbox.pop_front();
            }
            // A copy: the receiver may delete the worker, and with it the hook, mid-call.
            const auto announce = m_hooks.announce;
            announce(*outcome);
        }
    }
    // Ends the thread; what was never done or never announced is handed back, and outcomes
    // not announced now are not announced afterwards.
    Leftovers stop(Ending ending)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
            m_finishFirst = ending == Ending::Finish;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        const std::lock_guard lock(m_mutex);
        Leftovers left;
        left.items.swap(m_items);
        left.outcomes.swap(m_outbox);
        return left;
    }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        bool paused = false;
        Clock::time_point pausedUntil;
        std::unique_lock lock(m_mutex);
        while (true) {
            const auto woken = [this] { return m_stopping || !m_tasks.empty(); };
            if (paused) {
                m_wake.wait_until(lock, pausedUntil, woken);
                paused = Clock::now() < pausedUntil;
            } else {
                m_wake.wait(lock, [&] { return woken() || !m_items.empty(); });
            }
            if (m_stopping && (!m_finishFirst || m_items.empty())) {
                break;
            }
            while (!m_tasks.empty() && !m_stopping) {
                const std::function<void()> task = std::move(m_tasks.front());
                m_tasks.pop_front();
                lock.unlock();
                task();
                lock.lock();
            }
            if (paused || m_items.empty()) {
                continue;
            }
            // Only this thread takes items off, and a deque keeps its elements in place as
            // others are added behind.
            Item& item = m_items.front();
            m_busy = true;
            lock.unlock();
            const std::optional<int> pause = m_hooks.work(item);
            lock.lock();
            m_busy = false;
            if (!pause) {
                m_items.pop_front();
            } else if (*pause > 0) {
                paused = true;
                pausedUntil = Clock::now() + std::chrono::milliseconds(*pause);
            }
            if (m_items.empty()) {
                m_idle.notify_all();
            }
        }
        m_idle.notify_all();
        lock.unlock();
        if (m_hooks.ended) {
            m_hooks.ended();
        }
    }

    QObject* const m_owner;
    const Hooks m_hooks;
    std::atomic<bool> m_stopping { false };
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Item> m_items; // the first is the one being worked on
    std::deque<std::function<void()>> m_tasks;
    std::deque<Outcome> m_outbox;
    bool m_announcePosted = false;
    bool m_finishFirst = false;
    bool m_busy = false;
    std::thread m_thread; // last: it starts once everything above is in place
};

} // namespace shoulu
