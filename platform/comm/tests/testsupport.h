// Test support for everything that opens serial ports.
//
// Linking velmora_comm_testsupport gives the test process, before main runs,
// a private comm configuration in a temporary folder (VELMORA_COMM_CONFIG):
//   COM1 = sim          (the simulated amplifier "default")
//   COM2 = sim:com2
//   COM3 = sim:com3
// and sets VELMORA_COMM_FORBID=/dev/ttyS, so that any attempt to open a
// /dev/ttyS* device aborts the test instead of touching the machine's ports.
// Child processes inherit both.
#pragma once

#include <QByteArray>
#include <array>
#include <QString>
#include <sys/types.h>
#include <termios.h>

#include "automation/dispatch.h"

namespace comm::testing {

QString tempDir();
QString configFile();
// Replaces the private configuration with `text`.
void writeConfig(const QString& text);
// Back to the mapping above.
void restoreConfig();

// A pseudo-terminal pair. The test keeps its own descriptor of the slave, so
// the slave's settings can be read while the port holds it, and they survive
// the port's close as a real serial port's do.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    QString slavePath() const { return path_; }
    dev_t device() const { return device_; }
    termios slaveSettings() const;
    // What was written to the slave so far (not yet read).
    QByteArray read();
    // Closes the master: the slave side is hung up (writes fail with EIO).
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
    dev_t device_ = 0;
};

// Shifts one command word into the serial-port control as the panel does,
// element 1 first: per element RTS and DTR deasserted, RTS set to the
// element, DTR asserted; then the closing "0". Returns the Output's result.
automation::Result<> sendWord(automation::IDispatch& comm, const std::array<bool, 8>& bits);

} // namespace comm::testing
