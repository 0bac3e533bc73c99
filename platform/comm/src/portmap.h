// Which device each port number means: the comm layer's own per-user setting.
//
// The file is $VELMORA_COMM_CONFIG when that is set (one run, tests), else
// $XDG_CONFIG_HOME/velmora/comm.conf (default ~/.config/velmora/comm.conf).
// A missing file means the defaults. Lines are "key = value"; a '#' at the
// start of a line or after a blank starts a comment:
//   COM1 = /dev/ttyUSB0                   a device file
//   COM2 = sim:bench?delay=250            a target of another backend, by its
//                                         scheme (backends.h, schemes.cpp)
//   trace = /tmp/lines.vcd                record the lines as a VCD file
// Ports COM1-COM16 may be mapped; COM1-COM3 default to /dev/ttyS0-/dev/ttyS2.
#pragma once

#include <QString>
#include <map>
#include <memory>

#include "automation/result.h"
#include "comm/lines.h"

namespace comm {

constexpr int MaxPort = 16;

struct PortMap {
    QString file;                                           // the file read (it may not exist)
    std::map<int, std::shared_ptr<const LineTarget>> ports; // port number -> target
    QString trace;                                          // VCD file, empty: no trace

    const LineTarget *find(int port) const;

    static QString configPath();
    // Reads the configuration; a damaged file is an error naming the file
    // and line, a file that is no regular file or over 64 KiB one naming the
    // file and why (comm::err::HardwareNotAvailable).
    static automation::Result<PortMap> load();
    static automation::Result<PortMap> parse(const QByteArray &text, const QString &file);
};

} // namespace comm
