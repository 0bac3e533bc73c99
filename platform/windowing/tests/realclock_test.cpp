// Timers on the real clock, driven by the Qt event loop. Short intervals keep
// these fast; they check that ticks arrive, that the nested loop of a message
// box holds them back, and that a late timer does not replay missed periods.

#include "windowing/messagebox.h"
#include "windowing/timers.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <vector>

using namespace windowing;

namespace {

// Runs the event loop until `done` or 5 s have passed.
template <class Pred> bool runUntil(Pred done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

} // namespace

TEST(RealClock, TicksArriveOnTimeFromTheEventLoop)
{
    ASSERT_FALSE(manualClockInUse());
    Timer t;
    std::vector<std::int64_t> at;
    t.onTimer = [&] { at.push_back(clockNowMs()); };
    t.setInterval(20);
    const std::int64_t start = clockNowMs();
    t.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return at.size() >= 3; }));
    for (std::size_t i = 0; i < at.size(); ++i)
        EXPECT_GE(at[i] - start, 20 * std::int64_t(i + 1));

    t.setEnabled(false);
    const std::size_t ticks = at.size();
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 60)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_EQ(at.size(), ticks);
}

TEST(RealClock, AMessageBoxLoopHoldsTicksBackUntilTheHandlerReturns)
{
    Timer t;
    int ticks = 0;
    t.onTimer = [&] { ++ticks; };
    t.setInterval(10);
    t.setEnabled(true);

    // The box stays open for 100 ms, ten periods, with its own event loop running.
    QTimer::singleShot(100, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                box->button(QMessageBox::Yes)->click();
    });
    runHandler([&] {
        EXPECT_EQ(askYesNo("Wait?", Answer::No), Answer::Yes);
        EXPECT_EQ(ticks, 0);
    });
    EXPECT_EQ(ticks, 1);
}

TEST(RealClock, ALateTimerTicksOnceAndKeepsItsRhythm)
{
    Timer t;
    std::vector<std::int64_t> at;
    t.onTimer = [&] {
        at.push_back(clockNowMs());
        if (at.size() == 1) {
            // A busy handler: it holds the thread for 100 ms.
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < 100) {
            }
        }
    };
    t.setInterval(20);
    t.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return at.size() >= 4; }));
    // The late tick comes at once; replayed periods would follow it at once too.
    EXPECT_GE(at[1] - at[0], 100);
    EXPECT_GE(at[3] - at[1], 20);
}
