#pragma once

#include "fetch/HTTPGet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

namespace shoulu {

using Clock = std::chrono::steady_clock;

inline qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The process-wide application the fetch tests deliver replies through.
inline QCoreApplication& testApplication()
{
    static int argc = 1;
    static char name[] = "fetch-test";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* app
        = QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    return *app;
}

// Runs the event loop until the condition holds; false when timeoutMs passed first.
inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for a while, so that a reply that should not come has a chance to.
inline void spinFor(int ms)
{
    spinUntil([] { return false; }, ms);
}

// Counts the replies of one component.
struct Replies
{
    int done = 0;
    int errors = 0;
    QByteArray body;

    int total() const { return done + errors; }

    void attach(THTTPGet& get)
    {
        get.OnDoneString = [this](THTTPGet*, const QByteArray& result) {
            ++done;
            body = result;
        };
        get.OnError = [this](THTTPGet*) { ++errors; };
    }
};

// Starts the component's fetch and waits for its reply, then a little more to catch a second one.
inline Replies fetchAndWait(THTTPGet& get, int timeoutMs = 10000)
{
    Replies replies;
    replies.attach(get);
    get.GetString();
    spinUntil([&] { return replies.total() > 0; }, timeoutMs);
    spinFor(30);
    get.OnDoneString = nullptr;
    get.OnError = nullptr;
    return replies;
}

} // namespace shoulu
