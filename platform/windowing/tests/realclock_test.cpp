// The real clock: the service drives itself from the Qt event loop. What
// timers do with their ticks is tested on the manual clock.

#include "windowing/timers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <vector>

using namespace windowing;

TEST(RealClock, TicksArriveFromTheEventLoopInRhythm)
{
    ASSERT_FALSE(manualClockInUse());
    Timer t;
    std::vector<std::int64_t> at;
    t.onTimer = [&] {
        at.push_back(clockNowMs());
        if (at.size() == 3)
            t.setEnabled(false);
    };
    t.setInterval(20);
    const std::int64_t start = clockNowMs();
    t.setEnabled(true);
    QElapsedTimer limit;
    limit.start();
    while (at.size() < 3 && limit.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(at.size(), 3u);
    for (std::size_t i = 0; i < at.size(); ++i)
        EXPECT_GE(at[i] - start, 20 * std::int64_t(i + 1));
    EXPECT_EQ(t.remainingMs(), -1);
}
