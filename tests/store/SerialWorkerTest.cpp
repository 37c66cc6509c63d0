#include "util/SerialWorker.h"

#include "support/QtTestApp.h"

#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

namespace shoulu::test {
namespace {

using Worker = SerialWorker<int, int>;

// Works on n by telling n, after `pausesLeft[n]` pauses of 1 ms; item 0 waits for `release`.
struct Owner : QObject
{
    std::vector<int> worked; // the worker's thread's until it is stopped
    std::vector<int> announced;
    std::vector<int> pausesLeft = std::vector<int>(16, 0);
    std::binary_semaphore started { 0 };
    std::binary_semaphore release { 0 };
    std::function<void(int)> onAnnounce = [](int) {};
    Worker worker { this,
        { .work = [this](int& n) -> std::optional<int> {
             if (n == 0) {
                 started.release();
                 release.acquire();
             }
             if (pausesLeft[n]-- > 0) {
                 return 1;
             }
             worked.push_back(n);
             worker.tell(n);
             return std::nullopt;
         },
            .announce =
                [this](int& n) {
                    announced.push_back(n);
                    onAnnounce(n);
                } } };
};

TEST(SerialWorkerTest, WorksAndAnnouncesInOrderOnTheOwnersThreadAPausedItemHoldingUpTheRest)
{
    ensureQtApp();
    Owner owner;
    owner.pausesLeft[2] = 3;
    for (int n : { 1, 2, 3, 4 }) {
        owner.worker.post(n);
    }
    owner.worker.waitUntilIdle();
    EXPECT_TRUE(owner.announced.empty()); // only the owner's event loop announces
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.announced.size() == 4; }, 5000));
    EXPECT_EQ(owner.announced, (std::vector<int> { 1, 2, 3, 4 }));
    owner.worker.stop(Worker::Ending::Abandon);
    EXPECT_EQ(owner.worked, (std::vector<int> { 1, 2, 3, 4 }));
}

TEST(SerialWorkerTest, StopHandsBackWhatWasNeitherDoneNorAnnouncedAndFinishWorksThroughFirst)
{
    ensureQtApp();
    for (const auto ending : { Worker::Ending::Abandon, Worker::Ending::Finish }) {
        Owner owner;
        owner.worker.post(1);
        owner.worker.waitUntilIdle();
        owner.worker.post(0);
        owner.started.acquire();
        owner.worker.post(2);
        owner.worker.post(3);
        // Item 0 ends only once stop() has begun.
        std::thread releaser([&owner] {
            while (!*owner.worker.stopFlag()) {
                std::this_thread::yield();
            }
            owner.release.release();
        });
        const Worker::Leftovers left = owner.worker.stop(ending);
        releaser.join();
        const bool finished = ending == Worker::Ending::Finish;
        // The item under way when stop() came is done either way.
        EXPECT_EQ(owner.worked, finished ? (std::vector<int> { 1, 0, 2, 3 }) : (std::vector<int> { 1, 0 }));
        EXPECT_EQ(std::vector<int>(left.items.begin(), left.items.end()),
            finished ? std::vector<int> {} : (std::vector<int> { 2, 3 }));
        EXPECT_EQ(std::vector<int>(left.outcomes.begin(), left.outcomes.end()), owner.worked);
        owner.worker.post(4); // kept, never worked on
        EXPECT_EQ(owner.worker.stop(ending).items, std::deque<int> { 4 });
        QCoreApplication::processEvents();
        EXPECT_TRUE(owner.announced.empty());
    }
}

TEST(SerialWorkerTest, OutcomesLeftWhenAReceiverDeletesTheOwnerAreDropped)
{
    ensureQtApp();
    auto* owner = new Owner;
    std::vector<int> heard;
    owner->onAnnounce = [&heard, owner](int n) {
        heard.push_back(n);
        delete owner;
    };
    owner->worker.post(1);
    owner->worker.post(2);
    owner->worker.waitUntilIdle();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, std::vector<int> { 1 });
}

} // namespace
} // namespace shoulu::test
