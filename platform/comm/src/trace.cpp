// VCD writer for the line trace.
#include "trace.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <cstdlib>
#include <time.h>

#include "comm/errors.h"
#include "log.h"

namespace comm {

static std::int64_t monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

automation::Result<std::shared_ptr<LineTrace>> LineTrace::open(const QString &path) {
    // One trace per file and process, kept while a control holds it. At exit
    // the live ones write out what they hold back.
    static QHash<QString, std::weak_ptr<LineTrace>> traces;
    if (auto existing = traces.value(path).lock())
        return existing;
    static const int atExit = std::atexit([] {
        for (const auto &weak : std::as_const(traces))
            if (auto live = weak.lock())
                live->finish();
    });
    Q_UNUSED(atExit);
    std::shared_ptr<LineTrace> trace(new LineTrace(path));
    if (!trace->file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return automation::Error{err::HardwareNotAvailable,
                                 QStringLiteral("cannot write the line trace %1: %2")
                                     .arg(path, trace->file_.errorString()),
                                 {}};
    }
    trace->file_.write(
        QStringLiteral("$date %1 $end\n"
                       "$version Velmora serial line trace $end\n"
                       "$comment TxD is the transmit line at logic level (1 = idle/mark) $end\n"
                       "$timescale 1ns $end\n"
                       "$scope module serial $end\n"
                       "$var wire 1 ! RTS $end\n"
                       "$var wire 1 \" DTR $end\n"
                       "$var wire 1 # TxD $end\n"
                       "$var wire 1 $ DCD $end\n"
                       "$upscope $end\n"
                       "$enddefinitions $end\n"
                       "#0\n"
                       "$dumpvars\nx!\nx\"\n1#\nx$\n$end\n")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
            .toUtf8());
    trace->file_.flush();
    trace->lastTime_ = 0;
    traces.insert(path, trace);
    return trace;
}

LineTrace::LineTrace(const QString &path) : file_(path), start_(monotonicNs()) {}

LineTrace::~LineTrace() {
    if (!file_.isOpen())
        return;
    emitUpTo(INT64_MAX);
    file_.close();
}

std::int64_t LineTrace::now() const {
    return monotonicNs() - start_;
}

void LineTrace::write(std::int64_t t, Signal s, bool level) {
    // Edges written ahead at a close hold later changes back to their time.
    t = std::max(t, lastTime_);
    QByteArray out;
    if (t != lastTime_) {
        out += '#' + QByteArray::number(t) + '\n';
        lastTime_ = t;
    }
    out += (level ? '1' : '0');
    out += char(s);
    out += '\n';
    file_.write(out);
}

void LineTrace::emitUpTo(std::int64_t t) {
    while (!txd_.empty() && txd_.front().t <= t) {
        write(txd_.front().t, Signal::TxD, txd_.front().level);
        txd_.pop_front();
    }
}

void LineTrace::line(Signal s, bool level) {
    int &last = levels_[char(s) - char(Signal::Rts)];
    if (last == int(level))
        return;
    last = level;
    const std::int64_t t = now();
    emitUpTo(t);
    write(t, s, level);
    flush();
}

void LineTrace::transmit(QByteArrayView bytes, int baud) {
    if (baud <= 0)
        return;
    const std::int64_t t = now();
    emitUpTo(t);
    const double bitNs = 1e9 / baud;
    std::int64_t frame = std::max(t, txFreeAt_);
    for (char c : bytes) {
        // Start bit (0), data bits LSB first, stop bit (1): record level changes only.
        bool level = true;
        for (int bit = 0; bit < 10; ++bit) {
            const bool next = bit == 0   ? false
                              : bit == 9 ? true
                                         : (std::uint8_t(c) >> (bit - 1)) & 1;
            if (next != level) {
                txd_.push_back({frame + std::int64_t(bit * bitNs + 0.5), next});
                level = next;
            }
        }
        frame += std::int64_t(10 * bitNs + 0.5);
    }
    txFreeAt_ = frame;
    flush();
}

void LineTrace::finish() {
    emitUpTo(INT64_MAX);
    flush();
}

void LineTrace::flush() {
    if (!file_.flush())
        qCWarning(lcComm) << "line trace" << file_.fileName() << ":" << file_.errorString();
}

namespace {

class TracedLine : public LineBackend {
  public:
    TracedLine(std::unique_ptr<LineBackend> line, std::shared_ptr<LineTrace> trace)
        : line_(std::move(line)), trace_(std::move(trace)) {}
    ~TracedLine() override { close(); }

    automation::Result<> open(int baud, bool rts, bool dtr) override {
        TRY(line_->open(baud, rts, dtr));
        baud_ = baud;
        open_ = true;
        // The kernel raises both lines at open; then the kept levels apply.
        trace_->line(LineTrace::Signal::Rts, true);
        trace_->line(LineTrace::Signal::Dtr, true);
        trace_->line(LineTrace::Signal::Rts, rts);
        trace_->line(LineTrace::Signal::Dtr, dtr);
        return {};
    }
    void close() override {
        if (!open_)
            return;
        line_->close();
        open_ = false;
        trace_->finish();
    }
    automation::Result<> setSpeed(int baud) override {
        TRY(line_->setSpeed(baud));
        baud_ = baud;
        return {};
    }

    void setRts(bool on) override { set(LineTrace::Signal::Rts, on); }
    void setDtr(bool on) override { set(LineTrace::Signal::Dtr, on); }
    bool carrier() override {
        const bool on = line_->carrier();
        if (line_->present())
            trace_->line(LineTrace::Signal::Dcd, on);
        return on;
    }
    automation::Result<> write(QByteArrayView bytes) override {
        TRY(line_->write(bytes));
        trace_->transmit(bytes, baud_);
        return {};
    }
    bool present() const override { return line_->present(); }

  private:
    void set(LineTrace::Signal s, bool on) {
        if (s == LineTrace::Signal::Rts)
            line_->setRts(on);
        else
            line_->setDtr(on);
        if (line_->present())
            trace_->line(s, on);
    }

    std::unique_ptr<LineBackend> line_;
    std::shared_ptr<LineTrace> trace_;
    int baud_ = 0;
    bool open_ = false;
};

} // namespace

std::unique_ptr<LineBackend> traced(std::unique_ptr<LineBackend> line,
                                    std::shared_ptr<LineTrace> trace) {
    return std::make_unique<TracedLine>(std::move(line), std::move(trace));
}

} // namespace comm
