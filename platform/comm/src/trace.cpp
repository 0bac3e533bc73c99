// VCD writer for the line trace.
#include "trace.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "automation/smallfile.h"
#include "comm/errors.h"
#include "log.h"

namespace comm {

static std::int64_t monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// `path` opened to become a trace: a regular file, emptied, or one created
// there; otherwise why not. Never waits: a FIFO without a reader fails the
// non-blocking open, one with a reader (or a device) fails the check.
static automation::Result<int> openTraceFile(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    struct stat st {};
    if (fd < 0) {
        // A FIFO (ENXIO) or a folder (EISDIR) is said to be what it is.
        const int error = errno;
        const QString what =
            ::stat(name.constData(), &st) == 0 ? automation::notRegularFile(st.st_mode) : QString();
        return automation::makeError(err::HardwareNotAvailable,
                                     what.isEmpty() ? qt_error_string(error) : what);
    }
    QString why =
        ::fstat(fd, &st) == 0 ? automation::notRegularFile(st.st_mode) : qt_error_string(errno);
    if (why.isEmpty() && ::ftruncate(fd, 0) != 0)
        why = qt_error_string(errno);
    if (why.isEmpty())
        return fd;
    ::close(fd);
    return automation::makeError(err::HardwareNotAvailable, why);
}

std::shared_ptr<LineTrace> LineTrace::open(const QString &path) {
    // One trace per file and process, kept while a control holds it. At exit
    // the live ones write out what they hold back.
    static QHash<QString, std::weak_ptr<LineTrace>> traces;
    static QSet<QString> refused; // said once each, though every open tries again
    if (auto existing = traces.value(path).lock())
        return existing;
    static const int atExit = std::atexit([] {
        for (const auto &weak : std::as_const(traces))
            if (auto live = weak.lock())
                live->finish();
    });
    Q_UNUSED(atExit);
    const automation::Result<int> fd = openTraceFile(path);
    if (!fd) {
        if (!refused.contains(path))
            qCWarning(lcComm).noquote() << QStringLiteral("the line trace %1 is not written: %2")
                                               .arg(path, fd.error().description);
        refused.insert(path);
        return nullptr;
    }
    refused.remove(path);
    std::shared_ptr<LineTrace> trace(new LineTrace(path));
    trace->file_.open(*fd, QIODevice::WriteOnly | QIODevice::Text, QFileDevice::AutoCloseHandle);
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

LineTrace::LineTrace(const QString &path) : path_(path), start_(monotonicNs()) {
    frameTimer_.onTimer = [this] {
        frameEnded();
    };
}

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
    while (!frameEnds_.empty() && frameEnds_.front() <= t)
        frameEnds_.pop_front();
}

void LineTrace::aim() {
    if (frameEnds_.empty()) {
        frameTimer_.setEnabled(false);
        return;
    }
    // Counted from the frame end the timer last ticked for when that is
    // later than now: the timers' clock may run ahead of the monotonic one
    // (a test's manual clock), and the next frame follows the last one.
    const std::int64_t from = std::max(now(), aimedAt_);
    const std::int64_t ms = (frameEnds_.front() - from + 999999) / 1000000;
    frameTimer_.setInterval(int(std::clamp<std::int64_t>(ms, 1, 24 * 3600 * 1000)));
    frameTimer_.setEnabled(true);
}

void LineTrace::frameEnded() {
    if (!frameEnds_.empty()) {
        // The edges that have passed: at least the whole frame that ended,
        // but not yet the start bit of a frame that follows it at once.
        aimedAt_ = std::max(aimedAt_, frameEnds_.front());
        frameEnds_.pop_front();
        emitUpTo(std::max(now(), aimedAt_ - 1));
        flush();
    }
    aim();
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
        frameEnds_.push_back(frame);
    }
    txFreeAt_ = frame;
    flush();
    if (!frameTimer_.enabled())
        aim();
}

void LineTrace::finish() {
    emitUpTo(INT64_MAX);
    frameTimer_.setEnabled(false);
    flush();
}

void LineTrace::flush() {
    if (!file_.flush())
        qCWarning(lcComm) << "line trace" << path_ << ":" << file_.errorString();
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
