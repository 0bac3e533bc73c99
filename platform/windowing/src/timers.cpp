// The timer service: one list of running timers, one clock, one queue of ticks
// held back while a handler runs.
//
// Periods follow a windowing-system timer: after a tick the next deadline is
// the previous deadline plus the interval, and whole periods that were missed
// (the program was busy) are skipped instead of replayed, so a late timer
// ticks once and then keeps its rhythm.
//
// With the real clock the service drives itself from the Qt event loop: one
// precise single-shot QTimer aimed at the earliest deadline. With the manual
// clock nothing happens until advanceClock() moves time on.

#include "windowing/timers.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <vector>

namespace windowing {

class TimerService {
  public:
    static TimerService &instance() {
        // Never destroyed: timers that outlive static destruction (or are
        // destroyed during it) still find their service.
        static TimerService *service = new TimerService;
        return *service;
    }

    std::int64_t now() const { return manual_ ? manualNow_ : monotonic_.elapsed(); }
    bool manual() const { return manual_; }

    void useManual() {
        if (manual_)
            return;
        // Deadlines already set keep their distance from "now".
        const std::int64_t realNow = monotonic_.elapsed();
        for (const Running &r : running_)
            r.timer->due_ -= realNow;
        manual_ = true;
        manualNow_ = 0;
        if (driver_)
            driver_->stop();
    }

    // (Re)starts the countdown of t from now.
    void start(Timer *t) {
        t->due_ = now() + t->interval_;
        const std::uint64_t seq = nextSeq_++;
        auto it = findRunning(t);
        if (it == running_.end())
            running_.push_back({t, seq});
        else
            it->seq = seq;
        reschedule();
    }

    // Stops t and forgets a tick it had pending.
    void stop(Timer *t) {
        auto it = findRunning(t);
        if (it != running_.end())
            running_.erase(it);
        dropPending(t);
        reschedule();
    }

    void advance(std::int64_t ms) {
        if (!manual_ || ms < 0)
            return;
        const std::int64_t target = manualNow_ + ms;
        while (Running *r = earliestDueBy(target)) {
            // A handler that advanced the clock itself may have moved past due.
            manualNow_ = std::max(manualNow_, r->timer->due_);
            fire(*r);
        }
        manualNow_ = std::max(manualNow_, target);
    }

    void enterScope() { ++depth_; }

    void leaveScope() {
        if (--depth_ > 0 || flushing_)
            return;
        // A handler left by an exception delivers nothing on the way out; its
        // pending ticks wait for the next handler to end.
        if (std::uncaught_exceptions() > 0)
            return;
        flushing_ = true;
        struct Reset {
            bool &flag;
            ~Reset() { flag = false; }
        } reset{flushing_};
        while (!pending_.empty()) {
            auto next = std::min_element(pending_.begin(), pending_.end(), earlier<Pending>);
            Pending p = *next;
            pending_.erase(next);
            p.timer->pending_ = false;
            deliver(p.timer);
        }
    }

    bool inHandler() const { return depth_ > 0; }

    // Timers switched on before the application existed had no event loop to
    // aim at; they start counting on it now.
    void applicationStarted() { reschedule(); }

  private:
    struct Running {
        Timer *timer;
        std::uint64_t seq; // order of starting: breaks ties between equal deadlines
    };
    struct Pending {
        Timer *timer;
        std::int64_t due;
        std::uint64_t seq;
    };
    template <class T> static bool earlier(const T &a, const T &b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    }

    TimerService() { monotonic_.start(); }

    std::vector<Running>::iterator findRunning(Timer *t) {
        return std::find_if(
            running_.begin(), running_.end(), [t](const Running &r) { return r.timer == t; });
    }

    Running *earliestDueBy(std::int64_t limit) {
        Running *best = nullptr;
        for (Running &r : running_) {
            if (r.timer->due_ > limit)
                continue;
            if (!best || r.timer->due_ < best->timer->due_ ||
                (r.timer->due_ == best->timer->due_ && r.seq < best->seq))
                best = &r;
        }
        return best;
    }

    void dropPending(Timer *t) {
        t->pending_ = false;
        pending_.erase(std::remove_if(pending_.begin(),
                                      pending_.end(),
                                      [t](const Pending &p) { return p.timer == t; }),
                       pending_.end());
    }

    // The tick of r falls due now: move its deadline on, then deliver the
    // tick or, while a handler runs, keep it pending (once).
    void fire(Running &r) {
        Timer *t = r.timer;
        const std::int64_t dueAt = t->due_;
        const std::int64_t at = now();
        std::int64_t next = dueAt + t->interval_;
        if (next <= at)
            next += ((at - next) / t->interval_ + 1) * t->interval_;
        t->due_ = next;

        if (depth_ > 0) {
            if (!t->pending_) {
                t->pending_ = true;
                pending_.push_back({t, dueAt, r.seq});
            }
            reschedule();
            return;
        }
        deliver(t);
        reschedule();
    }

    static void deliver(Timer *t) {
        QPointer<Timer> alive(t);
        HandlerScope scope;
        // A copy: the handler may replace onTimer or delete its own timer.
        const std::function<void()> handler = t->onTimer;
        if (handler)
            handler();
        if (alive)
            emit alive->timeout();
    }

    // Real clock: aims the driver at the earliest deadline.
    void reschedule() {
        if (manual_)
            return;
        if (running_.empty()) {
            if (driver_)
                driver_->stop();
            return;
        }
        if (!QAbstractEventDispatcher::instance())
            return; // no event loop in this thread yet
        if (!driver_) {
            driver_ = new QTimer;
            driver_->setSingleShot(true);
            driver_->setTimerType(Qt::PreciseTimer);
            QObject::connect(driver_, &QTimer::timeout, [this] { dispatchDue(); });
        }
        std::int64_t earliest = running_.front().timer->due_;
        for (const Running &r : running_)
            earliest = std::min(earliest, r.timer->due_);
        const std::int64_t wait = std::clamp<std::int64_t>(earliest - now(), 0, 24 * 3600 * 1000);
        driver_->start(static_cast<int>(wait));
    }

    // Real clock: delivers the ticks that are due, once each, in due order.
    // What falls due again meanwhile waits for the next pass, so the event
    // loop gets its turn between passes.
    void dispatchDue() {
        const std::int64_t at = now();
        std::vector<Pending> due;
        for (const Running &r : running_)
            if (r.timer->due_ <= at)
                due.push_back({r.timer, r.timer->due_, r.seq});
        std::sort(due.begin(), due.end(), earlier<Pending>);

        std::vector<QPointer<Timer>> order;
        for (const Pending &p : due)
            order.emplace_back(p.timer);
        for (const QPointer<Timer> &t : order) {
            if (!t)
                continue;
            auto it = findRunning(t.data());
            if (it != running_.end() && t->due_ <= now())
                fire(*it);
        }
        reschedule();
    }

    QElapsedTimer monotonic_;
    bool manual_ = false;
    std::int64_t manualNow_ = 0;
    std::vector<Running> running_;
    std::vector<Pending> pending_;
    std::uint64_t nextSeq_ = 0;
    int depth_ = 0;
    bool flushing_ = false;
    QTimer *driver_ = nullptr;
};

namespace {
void aimAtFirstDeadline() {
    TimerService::instance().applicationStarted();
}
} // namespace
Q_COREAPP_STARTUP_FUNCTION(aimAtFirstDeadline)

void useManualClock() {
    TimerService::instance().useManual();
}
bool manualClockInUse() {
    return TimerService::instance().manual();
}
void advanceClock(std::int64_t ms) {
    TimerService::instance().advance(ms);
}
std::int64_t clockNowMs() {
    return TimerService::instance().now();
}

Timer::Timer(QObject *parent) : QObject(parent) {}

Timer::~Timer() {
    TimerService::instance().stop(this);
}

void Timer::setInterval(int ms) {
    interval_ = std::max(ms, 0);
    // A new interval starts the countdown afresh, as switching off and on does.
    if (enabled_ && interval_ > 0)
        restart();
    else
        TimerService::instance().stop(this);
}

void Timer::setEnabled(bool on) {
    if (on == enabled_)
        return; // switching on a running timer keeps its countdown
    enabled_ = on;
    if (on && interval_ > 0)
        restart();
    else
        TimerService::instance().stop(this);
}

std::int64_t Timer::remainingMs() const {
    if (!enabled_ || interval_ <= 0)
        return -1;
    return std::max<std::int64_t>(0, due_ - TimerService::instance().now());
}

void Timer::restart() {
    TimerService::instance().start(this);
}

HandlerScope::HandlerScope() {
    TimerService::instance().enterScope();
}
HandlerScope::~HandlerScope() {
    TimerService::instance().leaveScope();
}
bool HandlerScope::active() {
    return TimerService::instance().inHandler();
}

} // namespace windowing
