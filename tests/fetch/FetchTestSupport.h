#pragma once

#include "fetch/HTTPGet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace shoulu {

using Clock = std::chrono::steady_clock;

inline qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The process-wide application the fetch tests deliver replies through.
inline void ensureTestApplication()
{
    static int argc = 1;
    static char name[] = "fetch-test";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance()) {
        new QCoreApplication(argc, argv);
    }
}

// Runs the event loop until the condition holds; false when timeoutMs passed first.
inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

inline void spinFor(int ms)
{
    spinUntil([] { return false; }, ms);
}

// Replies of one component, counted outside it so that they can be checked after it is gone.
struct Replies
{
    int done = 0;
    int errors = 0;
    QByteArray body;
    int total() const { return done + errors; }
};

inline std::shared_ptr<Replies> watch(THTTPGet& get)
{
    auto replies = std::make_shared<Replies>();
    get.OnDoneString = [replies](THTTPGet*, const QByteArray& body) {
        ++replies->done;
        replies->body = body;
    };
    get.OnError = [replies](THTTPGet*) { ++replies->errors; };
    return replies;
}

// Starts the fetch, waits for its reply, then a little longer to catch a second one.
inline Replies fetchAndWait(THTTPGet& get, int timeoutMs = 10000)
{
    const auto replies = watch(get);
    get.GetString();
    spinUntil([&] { return replies->total() > 0; }, timeoutMs);
    spinFor(30);
    return *replies;
}

} // namespace shoulu
