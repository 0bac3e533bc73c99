// Which device each port number means: the comm layer's own per-user setting.
//
// The file is $VELMORA_COMM_CONFIG when that is set (one run, tests), else
// $XDG_CONFIG_HOME/velmora/comm.conf (default ~/.config/velmora/comm.conf).
// A missing file means the defaults. Lines are "key = value"; a '#' at the
// start of a line or after a blank starts a comment:
//   COM1 = /dev/ttyUSB0                   a device file
//   COM2 = sim                            the simulated amplifier "default"
//   COM3 = sim:bench?delay=250&panel=1    a named one, carrier 250 ms after
//                                         power-on, with its front panel
//   COM4 = sim:amp?power=on               one that is on when first opened
//   trace = /tmp/lines.vcd                record the lines as a VCD file
// Ports COM1-COM16 may be mapped; COM1-COM3 default to /dev/ttyS0-/dev/ttyS2.
#pragma once

#include <QString>
#include <map>

#include "automation/result.h"

namespace comm {

constexpr int MaxPort = 16;

// Where a port leads.
struct PortTarget {
    enum class Kind { Device, Simulator } kind = Kind::Device;
    QString device;          // Device: the device file
    QString simulator;       // Simulator: the amplifier's name
    int carrierDelayMs = -1; // -1: not given, the amplifier keeps its own
    bool panel = false;
    bool powerOn = false; // the amplifier starts powered when created

    // "COM1 -> /dev/ttyS0" style text for messages.
    QString describe() const;
};

struct PortMap {
    QString file;                    // the file read (it may not exist)
    std::map<int, PortTarget> ports; // port number -> target
    QString trace;                   // VCD file, empty: no trace

    const PortTarget *find(int port) const;

    static QString configPath();
    // Reads the configuration; a damaged file is an error naming the file
    // and line, a file that is no regular file or over 64 KiB one naming the
    // file and why (comm::err::HardwareNotAvailable).
    static automation::Result<PortMap> load();
    static automation::Result<PortMap> parse(const QByteArray &text, const QString &file);
    // "sim", "sim:name?delay=..&panel=..&power=.." or an absolute device path;
    // the error's description says what is wrong with it.
    static automation::Result<PortTarget> parseTarget(const QString &value);
};

} // namespace comm
