// The comm room's test support, linked into every test and the benchmark.
// Before main it ends the process unless it runs under the modem shim
// (velmora_modemshim.so preloaded: no serial port of the machine opens) with a
// port mapping that leads every port to a "sim" target, then copies that
// mapping into a temporary folder of the process, where it also makes the
// process's runtime folder ($XDG_RUNTIME_DIR, mode 0700); the offscreen
// platform's "does not support raise()" is not shown. What "sim" targets lead
// to: simulator/README.md; the shim's pty modem lines and request log:
// comm/modemshim.h.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

#include "automation/control.h"
#include "comm/modemshim.h"

namespace comm::testing {

// A temporary folder of this process.
QString tempDir();
// This process's port mapping: replaced with `text`, or back to the first one.
void writeConfig(const QString &text);
void restoreConfig();

// A serial-port control created by ProgID, from a private registry holding
// the library $VELMORA_COMM_LIB (registered on first use).
automation::ControlPtr createPort();

// Eight cells of a command word, element 1 first.
using Word = std::array<bool, 8>;
// Shifts the words out through a serial-port control as the panel does: per
// element RTS off, DTR off, RTS on for a set element, DTR on; then the
// closing character "0". The first failure ends it and is returned.
automation::Result<> sendWords(automation::IControl &port, const std::vector<Word> &words);

// A pseudo-terminal whose slave the test holds open too (its settings stay readable).
class Pty {
  public:
    Pty();
    ~Pty();
    QString slavePath() const { return path_; }
    dev_t device() const { return device_; }
    int slave() const { return slave_; }
    QByteArray read(); // what was written to the slave so far
    void hangUp();     // closes the master: the slave is hung up

  private:
    int master_ = -1, slave_ = -1;
    QString path_;
    dev_t device_ = 0;
};

} // namespace comm::testing
