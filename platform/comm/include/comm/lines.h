// The serial lines the control drives, behind one narrow interface, and the
// targets a port can be mapped to. The control reads each target of the port
// mapping through the backend its scheme names (comm.conf: a device path, or
// "<scheme>", "<scheme>:..." and "<scheme>?..."); a backend living in a
// library of its own exports a SchemeReader under the name SchemeReaderSymbol.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>

#include "automation/result.h"

namespace comm {

// A failure of a line: number (comm::err) and description, no source (the
// control adds its own and names the port).
inline automation::Error lineError(std::int32_t number, const QString &description) {
    return automation::Error{number, description, {}};
}

// The line speeds a port takes, bit/s, slowest first.
inline constexpr int LineSpeeds[] = {
    110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

class LineBackend {
  public:
    virtual ~LineBackend() = default;

    // Opens the line at `baud`, 8N1, and applies the given RTS and DTR levels
    // at once (RTS first, then DTR). Never waits for carrier.
    virtual automation::Result<> open(int baud, bool rts, bool dtr) = 0;
    // Leaves RTS and DTR where they are.
    virtual void close() = 0;
    virtual automation::Result<> setSpeed(int baud) = 0;

    // One line request each; never fail. Ignored once the device has gone.
    virtual void setRts(bool on) = 0;
    virtual void setDtr(bool on) = 0;
    // Carrier detect: one line query; false once the device has gone.
    virtual bool carrier() = 0;
    // Queues the bytes for sending without waiting for them to go out.
    virtual automation::Result<> write(QByteArrayView bytes) = 0;

    // False once the device went away under the open line (unplugged).
    virtual bool present() const = 0;
};

// Where a port leads, as its backend read it from the mapping.
class LineTarget {
  public:
    virtual ~LineTarget() = default;
    // The target in messages ("/dev/ttyUSB0").
    virtual QString describe() const = 0;
    // A new line to the target, not yet open.
    virtual std::unique_ptr<LineBackend> line() const = 0;
};

using TargetResult = automation::Result<std::shared_ptr<const LineTarget>>;
// Reads a target of the backend's scheme from the mapping's text (the whole
// value, scheme included); an error's description says what is wrong with it.
using SchemeReader = TargetResult (*)(const QString &value);
inline constexpr char SchemeReaderSymbol[] = "velmora_line_scheme";

} // namespace comm
