// Test support of the comm room, for every test that opens serial ports (the
// comm room's, the panel's, the tools') and the benchmark.
//
// Linked into a process, it sets up before main: the port mapping ctest hands
// every test (VELMORA_COMM_CONFIG, each port led to a simulated amplifier) is
// copied into a temporary folder of this process, which the test may then
// change at will. The simulated amplifiers themselves are reached through
// comm::SimulatedAmplifier::get(name) (comm/simulator.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <sys/types.h>
#include <vector>
#include <termios.h>

#include "automation/dispatch.h"

namespace comm::testing {

// A temporary folder of this process, removed at exit.
QString tempDir();
// This process's private port mapping: replaced with `text`, or set back to
// the one the process started with.
void writeConfig(const QString& text);
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

// The modem-line shim preloaded into every test (velmora_modemshim.so): it
// gives pseudo-terminal slaves modem lines (TIOCMGET/TIOCMSET/TIOCMBIS/
// TIOCMBIC), logs every ioctl request made on them, and refuses to open the
// machine's serial ports.
struct ModemRequest {
    dev_t device;
    unsigned request;   // TIOCMBIS, TIOCMGET, TIOCEXCL, ...
    int arg;            // the int argument of TIOCMSET/TIOCMBIS/TIOCMBIC
    int error;          // 0, or the errno it failed with
    int lines;          // the device's TIOCM_* lines after it
};
std::vector<ModemRequest> modemRequests();   // since the last clear
void clearModemRequests();
int modemLines(dev_t device);
// Sets a device's inputs (TIOCM_CAR, TIOCM_CTS, TIOCM_DSR, TIOCM_RNG).
void setModemInputs(dev_t device, int inputs);
// From now on every modem request on the device fails with err (0: normal again).
void failModemRequests(dev_t device, int err);

// Shifts one command word into a serial-port control as the panel does,
// element 1 first: per element RTS and DTR deasserted, RTS set to the
// element, DTR asserted; then the closing "0". Returns the Output's result.
automation::Result<> sendWord(automation::IDispatch& port, const std::array<bool, 8>& bits);

} // namespace comm::testing
