// The comm room's test support, linked into every test (velmora_add_test) and
// the benchmark. Before main it checks that the process runs under the modem
// shim (velmora_modemshim.so, preloaded: no serial port of the machine can be
// opened) with a port mapping that leads every port to a simulated amplifier,
// and ends the process saying so otherwise; then it copies that mapping into
// a temporary folder of the process. Simulated amplifiers are reached with
// comm::SimulatedAmplifier::get(name) (comm/simulator.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <sys/types.h>
#include <termios.h>
#include <vector>

#include "automation/control.h"

namespace comm::testing {

// A temporary folder of this process.
QString tempDir();
// This process's port mapping: replaced with `text`, or back to the first one.
void writeConfig(const QString& text);
void restoreConfig();

// A serial-port control created by ProgID, from a private registry holding
// the library $VELMORA_COMM_LIB (registered on first use).
automation::ControlPtr createPort();

// Shifts a command word out as the panel does, element 1 first: per element
// RTS off, DTR off, RTS on for a set element, DTR on; then the closing "0".
automation::Result<> sendWord(automation::IDispatch& port, const std::array<bool, 8>& bits);

// A pseudo-terminal; the test holds the slave open too, so its settings can be
// read while, and after, the port holds it.
class Pty {
public:
    Pty();
    ~Pty();
    QString slavePath() const { return path_; }
    dev_t device() const { return device_; }
    termios slaveSettings() const;
    QByteArray read();   // what was written to the slave so far
    void hangUp();       // closes the master: the slave is hung up

private:
    int master_ = -1, slave_ = -1;
    QString path_;
    dev_t device_ = 0;
};

// The shim's modem lines of pseudo-terminals: every ioctl request on them
// since the last clear, their lines (TIOCM_*), their inputs, and failing them.
struct ModemRequest { dev_t device; unsigned request; int arg; int error; int lines; };
std::vector<ModemRequest> modemRequests();
void clearModemRequests();
int modemLines(dev_t device);
void setModemInputs(dev_t device, int inputs);   // TIOCM_CAR, TIOCM_CTS, ...
void failModemRequests(dev_t device, int err);   // 0: answer again

} // namespace comm::testing
