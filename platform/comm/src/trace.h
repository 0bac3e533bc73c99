// The line trace: RTS, DTR, TxD and DCD changes as a VCD file (GTKWave and
// PulseView open it), timestamped with the monotonic clock in nanoseconds
// from the moment the trace was started.
//
// TxD is modelled, not observed: a write at time t puts each character's
// asynchronous frame (start bit, eight data bits LSB first, stop bit) on the
// line at the set speed from t on, after any frame still going out. Those
// edges lie in the future when they are recorded; they are held back and
// written when their frame ends (a timer aimed at each frame's end), or
// sooner when a later change passes their time, so the file's times never
// decrease; all of them at close and at exit.
//
// The file is whole at every moment: each change is handed to the system as
// it is recorded, so a process that is killed leaves a well-formed trace up
// to its last line request and the last frame that ended, with TxD idle after
// it, missing at most a frame still on the wire.
//
// Only a regular file (or a name where none exists yet) becomes a trace. The
// file is opened without blocking and checked before anything is written, so
// a FIFO or a device under that name can never hold the process up.
#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <cstdint>
#include <deque>
#include <memory>

#include "automation/result.h"
#include "comm/lines.h"
#include "windowing/timers.h"

namespace comm {

class LineTrace {
  public:
    enum class Signal : char { Rts = '!', Dtr = '"', TxD = '#', Dcd = '$' };

    // The trace writing `path` in this process, started (file truncated) on
    // first use and shared while anyone holds it. None when `path` is not a
    // regular file that can be written: one warning (category velmora.comm)
    // says why, once per path and process, and the port goes on untraced.
    static std::shared_ptr<LineTrace> open(const QString &path);
    ~LineTrace();

    QString path() const { return path_; }

    // Records RTS, DTR or DCD; a level equal to the last one is no change.
    void line(Signal s, bool level);
    void transmit(QByteArrayView bytes, int baud);
    // Writes out every TxD edge still held back (the port closes).
    void finish();

    // Nanoseconds since the trace started.
    std::int64_t now() const;

  private:
    explicit LineTrace(const QString &path);
    void emitUpTo(std::int64_t t);
    // Aims the frame timer at the end of the first frame not yet written.
    void aim();
    void frameEnded();
    void write(std::int64_t t, Signal s, bool level);
    void flush();

    QString path_;
    QFile file_;
    std::int64_t start_ = 0;
    std::int64_t lastTime_ = -1;
    std::int64_t txFreeAt_ = 0;        // end of the last TxD frame
    int levels_[4] = {-1, -1, -1, -1}; // RTS, DTR, TxD (unused), DCD; -1 unknown
    struct Edge {
        std::int64_t t;
        bool level;
    };
    std::deque<Edge> txd_;               // TxD edges not yet written
    std::deque<std::int64_t> frameEnds_; // the ends of their frames
    std::int64_t aimedAt_ = 0;           // the frame end the timer last ticked for
    windowing::Timer frameTimer_;
};

// `line` with its requests recorded in `trace`: the open (the kernel raising
// both lines, then the given levels), each RTS and DTR change and carrier
// read while the device is there, each write's frames at the line's speed;
// a close writes out the frames held back.
std::unique_ptr<LineBackend> traced(std::unique_ptr<LineBackend> line,
                                    std::shared_ptr<LineTrace> trace);

} // namespace comm
