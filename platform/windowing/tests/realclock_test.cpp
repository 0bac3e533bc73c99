// The real clock, in a process of its own (a process picks its clock once):
// the service drives itself from the Qt event loop. What timers do with their
// ticks is tested on the manual clock.

#include "windowing/timers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

using namespace windowing;

TEST(RealClock, TicksArriveFromTheEventLoopNeverBeforeTheirTime)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Timer t;
    std::vector<std::int64_t> at;
    t.onTimer = [&] { at.push_back(clockNowMs()); t.setEnabled(at.size() < 3); };
    t.setInterval(20);
    const std::int64_t start = clockNowMs();
    t.setEnabled(true);
    for (QDeadlineTimer limit(5000); at.size() < 3 && !limit.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(at.size(), 3u);
    for (std::size_t i = 0; i < at.size(); ++i)
        EXPECT_GE(at[i] - start, 20 * std::int64_t(i + 1));
    EXPECT_EQ(t.remainingMs(), -1);
}
