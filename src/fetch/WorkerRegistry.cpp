#include "fetch/WorkerRegistry.h"

#include "fetch/THTTPGetThread.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <system_error>

namespace shoulu {

WorkerRegistry& WorkerRegistry::instance()
{
    static WorkerRegistry registry;
    return registry;
}

WorkerRegistry::WorkerRegistry()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

WorkerRegistry::~WorkerRegistry()
{
    shutdown();
}

void WorkerRegistry::launch(const std::shared_ptr<THTTPGetThread>& worker, void (*body)(THTTPGetThread&))
{
    reapFinished();
    hookApplication();
    std::lock_guard lock(m_mutex);
    auto entry = m_entries.insert(m_entries.end(), Entry { worker, {}, false });
    try {
        entry->thread = std::thread([this, worker, body, entry] {
            body(*worker);
            std::lock_guard done(m_mutex);
            entry->finished = true;
            m_changed.notify_all();
        });
    } catch (const std::system_error& e) {
        m_entries.erase(entry);
        throw std::runtime_error(std::string("cannot start a fetch thread: ") + e.what());
    }
}

int WorkerRegistry::running()
{
    std::lock_guard lock(m_mutex);
    return int(std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return !e.finished; }));
}

bool WorkerRegistry::waitForAll(int timeoutMs)
{
    bool allEnded = false;
    {
        std::unique_lock lock(m_mutex);
        allEnded = m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
            return std::all_of(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.finished; });
        });
    }
    reapFinished();
    return allEnded;
}

void WorkerRegistry::shutdown()
{
    while (true) {
        std::list<Entry> entries;
        {
            std::lock_guard lock(m_mutex);
            entries.swap(m_entries);
        }
        if (entries.empty()) {
            return;
        }
        for (Entry& entry : entries) {
            entry.worker->Abort();
            entry.worker->detach();
        }
        for (Entry& entry : entries) {
            entry.thread.join();
        }
    }
}

void WorkerRegistry::reapFinished()
{
    std::list<Entry> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            const auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), m_entries, it);
            }
            it = next;
        }
    }
    for (Entry& entry : finished) {
        entry.thread.join();
    }
}

void WorkerRegistry::hookApplication()
{
    std::lock_guard lock(m_mutex);
    if (!m_hooked) {
        m_hooked = true;
        qAddPostRoutine(&WorkerRegistry::onApplicationDestroyed);
    }
}

void WorkerRegistry::onApplicationDestroyed()
{
    WorkerRegistry& registry = instance();
    registry.shutdown();
    std::lock_guard lock(registry.m_mutex);
    registry.m_hooked = false;
}

} // namespace shoulu
