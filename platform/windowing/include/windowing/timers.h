// Timers as the program expects them, on a clock that tests can drive.
//
// A Timer ticks every Interval ms while Enabled and Interval > 0. Setting
// Enabled to true on a running timer does not restart its countdown; setting
// it false and true again does, and so does a new Interval.
//
// Handlers never interleave. Every handler the program runs (a tick, a click,
// a menu choice) runs inside a HandlerScope. A tick that falls due while any
// handler runs (even inside the nested loop of a message box it shows) is kept
// pending and delivered after the outermost handler returns; a timer has at
// most one pending tick (missed periods are not replayed) and a pending tick
// is dropped if its timer is switched off before delivery.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

namespace windowing {

// The time base of all timers: the real clock follows the monotonic clock and
// the Qt event loop; the manual clock (tests) moves only when advanced.
// Installs the manual clock for this process (call before any Timer is made).
void useManualClock();
bool manualClockInUse();
// Moves the manual clock forward by ms, delivering every tick that falls due on
// the way, in time order, each at its own due time.
void advanceClock(std::int64_t ms);
std::int64_t clockNowMs();

class Timer : public QObject {
    Q_OBJECT
  public:
    explicit Timer(QObject *parent = nullptr);
    ~Timer() override;

    void setInterval(int ms);
    int interval() const { return interval_; }
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    // Milliseconds until the next tick falls due (-1 when not running).
    std::int64_t remainingMs() const;

    std::function<void()> onTimer;

  signals:
    void timeout(); // emitted with each delivered tick, after onTimer

  private:
    friend class TimerService;
    void restart();
    int interval_ = 0;
    bool enabled_ = false;
    bool pending_ = false;
    std::int64_t due_ = 0;
};

// Marks a handler as running. Scopes nest; when the outermost one ends, the
// ticks that fell due meanwhile are delivered.
class HandlerScope {
  public:
    HandlerScope();
    ~HandlerScope();
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;
    static bool active();
};

// Runs f as a handler: inside a HandlerScope.
template <class F> void runHandler(F &&f) {
    HandlerScope scope;
    f();
}

} // namespace windowing
