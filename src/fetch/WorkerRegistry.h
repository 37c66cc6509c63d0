#pragma once

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace shoulu {

class THTTPGetThread;

// Owns every fetch worker's thread of the process: a thread is joined once it has ended, and
// all of them are stopped and joined before the QCoreApplication (or the process) goes away.
class WorkerRegistry
{
public:
    static WorkerRegistry& instance();
    ~WorkerRegistry();

    // Runs body(*worker) on a new thread. Throws std::runtime_error when none can be started.
    void launch(const std::shared_ptr<THTTPGetThread>& worker, void (*body)(THTTPGetThread&));
    // Workers whose thread has not ended yet.
    int running();
    // Waits until every thread has ended and is joined; false on time-out.
    bool waitForAll(int timeoutMs);
    // Aborts and detaches every worker, then joins their threads.
    void shutdown();

private:
    struct Entry
    {
        std::shared_ptr<THTTPGetThread> worker;
        std::thread thread;
        bool finished = false;
    };

    WorkerRegistry();
    void reapFinished();
    // A worker waiting for a hand-over must never outlive the event loop that would serve it.
    void hookApplication();
    static void onApplicationDestroyed();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::list<Entry> m_entries;
    bool m_hooked = false;
};

} // namespace shoulu
