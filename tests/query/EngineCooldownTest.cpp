#include "query/EngineCooldown.h"

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

constexpr qint64 Minute = 60 * 1000;

class EngineCooldownTest : public ::testing::Test
{
protected:
    qint64 m_now = 1000;
    EngineCooldown m_cooldown { [this] { return m_now; } };
};

// Each block comes as soon as the previous rest is over.
TEST_F(EngineCooldownTest, restDoublesOnEachFurtherBlockUpToTwoHours)
{
    const qint64 expected[] = { 5, 10, 20, 40, 80, 120, 120 };
    for (const qint64 minutes : expected) {
        EXPECT_TRUE(m_cooldown.noteBlocked(0));
        EXPECT_EQ(m_cooldown.pauseMs(0), minutes * Minute);
        m_now += minutes * Minute - 1;
        EXPECT_TRUE(m_cooldown.isCooling(0)) << minutes;
        ++m_now;
        EXPECT_FALSE(m_cooldown.isCooling(0)) << minutes;
    }
    EXPECT_FALSE(m_cooldown.isCooling(1));
}

// Replies to requests sent before the rest began are the same block, not a further one.
TEST_F(EngineCooldownTest, blockWhileRestingNeitherDoublesNorExtends)
{
    ASSERT_TRUE(m_cooldown.noteBlocked(3));
    m_now += Minute;
    EXPECT_FALSE(m_cooldown.noteBlocked(3));
    EXPECT_EQ(m_cooldown.pauseMs(3), 5 * Minute);
    m_now += 4 * Minute;
    EXPECT_FALSE(m_cooldown.isCooling(3));
    m_cooldown.reset();
    EXPECT_TRUE(m_cooldown.noteBlocked(3));
    EXPECT_EQ(m_cooldown.pauseMs(3), 5 * Minute);
}

} // namespace
} // namespace shoulu::test
