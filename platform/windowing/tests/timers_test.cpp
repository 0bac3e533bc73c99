// Timers on the manual clock: periods, switching on and off, due order, and
// ticks held back while a handler runs. Each case logs its ticks as "name@ms".

#include "windowing/timers.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <map>
#include <memory>

using namespace windowing;

namespace {

struct Scene {
    const std::int64_t t0 = clockNowMs();
    QStringList log;
    std::map<QString, std::unique_ptr<Timer>> timers;

    void note(const QString &what) {
        log << QStringLiteral("%1@%2").arg(what).arg(clockNowMs() - t0);
    }
    Timer &make(const QString &name, int interval, bool on = true) {
        auto &t = timers[name] = std::make_unique<Timer>();
        t->onTimer = [this, name] {
            note(name);
        };
        t->setInterval(interval);
        t->setEnabled(on);
        return *t;
    }
};

// A named case: what it does on the clock, and the ticks it logs.
struct Case {
    const char *name;
    std::function<void(Scene &)> run;
    QStringList want;
};

class Timers : public ::testing::TestWithParam<Case> {};

const Case Cases[] = {
    // Switching on keeps the countdown; off and on, or a new interval, restart it; 0 stops it.
    {"SwitchingAndIntervals",
     [](Scene &s) {
         Timer &a = s.make("a", 150);
         EXPECT_EQ(s.make("zero", 0).remainingMs(), -1) << "interval 0: no tick due";
         advanceClock(100);
         a.setEnabled(true); // a second click within the period
         advanceClock(100);
         a.setEnabled(false);
         a.setEnabled(true);
         advanceClock(250);
         a.setInterval(300);
         advanceClock(300);
         a.setInterval(0);
         advanceClock(1000);
         EXPECT_EQ(a.remainingMs(), -1) << "stopped by interval 0";
     },
     {"a@150", "a@350", "a@750"}},
    // Handlers switching timers during an advance take effect at once.
    {"SwitchedFromAHandler",
     [](Scene &s) {
         Timer &b = s.make("b", 150, false);
         Timer &a = s.make("a", 100);
         Timer &c = s.make("c", 100); // started after a: a's tick comes first on ties
         c.onTimer = [&] {
             s.note("c");
             b.setEnabled(true);
         };
         a.onTimer = [&] {
             s.note("a");
             if (clockNowMs() - s.t0 == 200)
                 c.setEnabled(false);
         };
         advanceClock(400);
     },
     {"a@100", "c@100", "a@200", "b@250", "a@300", "a@400", "b@400"}},
    // A tick due while a handler runs comes once after it, in rhythm.
    {"DueDuringAHandler",
     [](Scene &s) {
         Timer &a = s.make("a", 150);
         runHandler([&] { advanceClock(5000); }); // e.g. a message box left open
         advanceClock(100);
         a.onTimer = [&] {
             s.note("a");
             if (s.log.size() == 3)
                 advanceClock(250);
         }; // a tick handler is a handler too
         advanceClock(150);
         EXPECT_EQ(a.remainingMs(), 50) << "in rhythm";
     },
     {"a@5000", "a@5100", "a@5250", "a@5500"}},
    // Pending ticks come in due order, each in a handler, after the outermost one.
    {"PendingInDueOrder",
     [](Scene &s) {
         s.make("slow", 300);
         s.make("fast", 100).onTimer = [&s] {
             s.note(QStringLiteral("fast:%1").arg(HandlerScope::active()));
         };
         HandlerScope outer;
         runHandler([] { advanceClock(350); });
         EXPECT_TRUE(s.log.isEmpty()) << "none while the outer handler runs";
     },
     {"fast:1@350", "slow@350"}},
    // A pending tick is dropped when its timer is switched off.
    {"PendingDroppedWhenOff",
     [](Scene &s) {
         for (const char *name : {"dropped", "restarted", "kept"})
             s.make(name, 150);
         runHandler([&] {
             advanceClock(200);
             s.timers["dropped"]->setEnabled(false);
             s.timers["restarted"]->setEnabled(false);
             s.timers["restarted"]->setEnabled(true);
             s.timers["kept"]->setInterval(150); // still running: its pending tick stays
         });
         advanceClock(150);
     },
     {"kept@200", "restarted@350", "kept@350"}},
    // A timer destroyed by its own tick is forgotten.
    {"DestroyedByItsOwnTick",
     [](Scene &s) {
         s.make("survivor", 100);
         Timer &self = s.make("self", 150);
         int timeouts = 0;
         QObject::connect(&self, &Timer::timeout, [&] { ++timeouts; });
         self.onTimer = [&] {
             s.note("self");
             s.timers.erase("self");
         };
         advanceClock(300);
         EXPECT_EQ(timeouts, 0) << "no signal from a destroyed timer";
     },
     {"survivor@100", "self@150", "survivor@200", "survivor@300"}},
};

} // namespace

TEST_P(Timers, OnTheManualClock) {
    ASSERT_TRUE(manualClockInUse());
    Scene scene;
    GetParam().run(scene);
    EXPECT_EQ(scene.log, GetParam().want) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Timers, Timers, ::testing::ValuesIn(Cases),
                         [](const auto &info) { return std::string(info.param.name); });
