// Timers on the manual clock: periods, switching on and off, due order, and
// ticks held back while a handler runs.

#include "windowing/messagebox.h"
#include "windowing/timers.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <memory>

using namespace windowing;

namespace {

// Records each tick as "name@ms", ms counted from the fixture's start.
class TimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(manualClockInUse());
        t0 = clockNowMs();
    }
    void TearDown() override { setMessageBoxHandler({}); }

    std::int64_t elapsed() const { return clockNowMs() - t0; }

    std::unique_ptr<Timer> makeTimer(const QString& name, int interval, bool enabled = true)
    {
        auto t = std::make_unique<Timer>();
        t->onTimer = [this, name] { log << QStringLiteral("%1@%2").arg(name).arg(elapsed()); };
        t->setInterval(interval);
        t->setEnabled(enabled);
        return t;
    }

    std::int64_t t0 = 0;
    QStringList log;
};

} // namespace

TEST_F(TimerTest, TicksEveryIntervalWhileEnabledWithAnInterval)
{
    auto t = makeTimer("a", 150);
    auto noInterval = makeTimer("zero", 0);
    auto off = makeTimer("off", 100, false);
    advanceClock(149);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(t->remainingMs(), 1);
    advanceClock(451);
    EXPECT_EQ(log, QStringList({"a@150", "a@300", "a@450", "a@600"}));

    t->setEnabled(false);
    EXPECT_EQ(t->remainingMs(), -1);
    EXPECT_EQ(noInterval->remainingMs(), -1);
    off->setEnabled(true);
    advanceClock(50);
    off->setInterval(0);   // stops it
    advanceClock(1000);
    EXPECT_EQ(log.size(), 4);
}

TEST_F(TimerTest, SwitchingOnKeepsTheCountdownOffAndOnOrANewIntervalRestartIt)
{
    auto t = makeTimer("a", 150);
    advanceClock(100);
    t->setEnabled(true);   // a second standby click within the period
    EXPECT_EQ(t->remainingMs(), 50);
    advanceClock(50);
    EXPECT_EQ(log, QStringList({"a@150"}));

    advanceClock(50);
    t->setEnabled(false);
    t->setEnabled(true);
    advanceClock(149);
    EXPECT_EQ(log.size(), 1);
    advanceClock(1);
    EXPECT_EQ(log, QStringList({"a@150", "a@350"}));

    advanceClock(100);
    t->setInterval(300);
    advanceClock(300);
    EXPECT_EQ(log, QStringList({"a@150", "a@350", "a@750"}));
}

TEST_F(TimerTest, TicksComeInDueOrderTiesByWhichWasSwitchedOnFirst)
{
    auto a = makeTimer("a", 300);
    auto b = makeTimer("b", 150);
    auto c = makeTimer("c", 300);
    advanceClock(600);
    EXPECT_EQ(log, QStringList({"b@150", "a@300", "b@300", "c@300", "b@450", "a@600",
                                "b@600", "c@600"}));
}

TEST_F(TimerTest, HandlersSwitchingTimersDuringAnAdvanceTakeEffectAtOnce)
{
    auto b = makeTimer("b", 150, false);
    auto c = makeTimer("c", 100);
    auto a = makeTimer("a", 100);
    // At 100 a ticks before c (c is switched on again below, after a); c turns
    // b on there, so b first falls due at 250. At 200 a's tick switches c off
    // before c's tick of the same instant is delivered.
    c->onTimer = [&] {
        log << QStringLiteral("c@%1").arg(elapsed());
        b->setEnabled(true);
    };
    a->onTimer = [&] {
        log << QStringLiteral("a@%1").arg(elapsed());
        if (elapsed() == 200)
            c->setEnabled(false);
    };
    c->setEnabled(false);
    c->setEnabled(true);   // now switched on after a: a's tick comes first on ties
    advanceClock(400);
    EXPECT_EQ(log, QStringList({"a@100", "c@100", "a@200", "b@250", "a@300", "a@400",
                                "b@400"}));
}

TEST_F(TimerTest, ATickDueWhileAHandlerRunsComesOnceAfterItReturns)
{
    auto t = makeTimer("a", 150);
    runHandler([&] {
        advanceClock(5000);
        EXPECT_TRUE(log.isEmpty());
    });
    // One tick, not the 33 periods that passed; the rhythm is kept.
    EXPECT_EQ(log, QStringList({"a@5000"}));
    EXPECT_EQ(t->remainingMs(), 100);
    advanceClock(100);
    EXPECT_EQ(log, QStringList({"a@5000", "a@5100"}));

    // A tick handler is a handler too: its own timer falling due meanwhile
    // ticks once more after it.
    t->onTimer = [&] {
        log << QStringLiteral("a@%1").arg(elapsed());
        if (log.size() == 3)
            advanceClock(250);
    };
    advanceClock(150);
    EXPECT_EQ(log, QStringList({"a@5000", "a@5100", "a@5250", "a@5500"}));
    EXPECT_EQ(t->remainingMs(), 50);
}

TEST_F(TimerTest, ATickDueWhileAMessageBoxIsOpenWaitsForTheHandler)
{
    auto poll = makeTimer("poll", 150);
    auto warmUp = makeTimer("warm", 49000);
    setMessageBoxHandler([&](const MessageRequest&) {
        advanceClock(60000);   // the user leaves the question open for a minute
        return Answer::No;
    });
    runHandler([&] {
        EXPECT_EQ(askYesNo("Quit?", Answer::No), Answer::No);
        EXPECT_TRUE(log.isEmpty());
    });
    EXPECT_EQ(log, QStringList({"poll@60000", "warm@60000"}));
}

TEST_F(TimerTest, PendingTicksComeInDueOrderEachInItsOwnHandler)
{
    auto slow = makeTimer("slow", 300);
    auto fast = makeTimer("fast", 100);
    QStringList scopes;
    slow->onTimer = [&] { scopes << QStringLiteral("slow:%1").arg(HandlerScope::active()); };
    fast->onTimer = [&] { scopes << QStringLiteral("fast:%1").arg(HandlerScope::active()); };
    {
        HandlerScope outer;
        {
            HandlerScope inner;
            advanceClock(350);
        }
        EXPECT_TRUE(scopes.isEmpty());   // still inside the outer handler
    }
    EXPECT_EQ(scopes, QStringList({"fast:1", "slow:1"}));
}

TEST_F(TimerTest, APendingTickIsDroppedWhenItsTimerIsSwitchedOff)
{
    auto dropped = makeTimer("dropped", 150);
    auto restarted = makeTimer("restarted", 150);
    auto zeroed = makeTimer("zeroed", 150);
    auto kept = makeTimer("kept", 150);
    runHandler([&] {
        advanceClock(200);
        dropped->setEnabled(false);
        restarted->setEnabled(false);
        restarted->setEnabled(true);
        zeroed->setInterval(0);
        kept->setInterval(150);   // still running: its pending tick stays
    });
    EXPECT_EQ(log, QStringList({"kept@200"}));
    advanceClock(150);
    EXPECT_EQ(log, QStringList({"kept@200", "restarted@350", "kept@350"}));
}

TEST_F(TimerTest, TimersDestroyedWhilePendingOrWhileTickingAreForgotten)
{
    auto survivor = makeTimer("survivor", 100);
    Timer* doomed = makeTimer("doomed", 100).release();
    runHandler([&] {
        advanceClock(100);
        delete doomed;
    });
    EXPECT_EQ(log, QStringList({"survivor@100"}));

    auto* self = new Timer;
    int timeouts = 0;
    QObject::connect(self, &Timer::timeout, [&] { ++timeouts; });
    self->onTimer = [&] { delete self; self = nullptr; };
    self->setInterval(50);
    self->setEnabled(true);
    advanceClock(200);
    EXPECT_EQ(self, nullptr);
    EXPECT_EQ(timeouts, 0);
    EXPECT_EQ(log, QStringList({"survivor@100", "survivor@200", "survivor@300"}));
}
