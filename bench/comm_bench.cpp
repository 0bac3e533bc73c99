// How fast a command word goes out, on a pseudo-terminal whose modem lines the
// shim emulates, four ways in each round:
//   (a) the floor: the bare modem-control requests on a descriptor;
//   (b) the serial-port control created by ProgID and driven through the
//       automation runtime by dispatch id, as the program drives it (one
//       property put per line change);
//   (c) QSerialPort, setting the lines and writing the closing character;
//   (d) pyserial, the same, in a python3 process of its own.
// Prints microseconds per word (min/median/max over the rounds) of processor
// time of the loop's thread (on a shared machine the wall time holds whatever
// else runs there), each way's ratio to the floor of the same round, and modem
// requests per word. Exit status 1 when a word through the control does not
// take exactly 24 requests plus one per set bit. Run it with `ninja bench`: it
// needs the test set-up (the modem shim preloaded, a private port mapping).
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "automation/server.h"
#include "comm/testing.h"
#include "comm_dispids.h"

using automation::Variant;
using namespace comm::dispid;

namespace {

constexpr int Words = 1000;
constexpr int Rounds = 5;

// The words of a power-on attempt, a standby key and an input selection, in turn.
const std::array<std::uint8_t, 8> Patterns = {0x01, 0x00, 0x00, 0x08, 0x00, 0x20, 0x00, 0x10};

int setBits() {
    int n = 0;
    for (int w = 0; w < Words; ++w)
        n += __builtin_popcount(Patterns[w % Patterns.size()]);
    return n;
}

// The processor time of this thread, in microseconds: system calls included,
// the time other processes of the shared machine take excluded.
double cpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

double elapsedUs(double since) {
    return cpuUs() - since;
}

[[noreturn]] void stop(const char *what) {
    std::fprintf(stderr, "comm_bench: %s\n", what);
    std::exit(2);
}

// (a) The floor: the requests of each word straight on a descriptor of its own.
// Both loops stay functions of their own, so that a profile (callgrind's
// --toggle-collect) can take each alone.
[[gnu::noinline]] double bareLoop(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        stop("cannot open the pty");
    const int rts = TIOCM_RTS, dtr = TIOCM_DTR;
    const double start = cpuUs();
    for (int w = 0; w < Words; ++w) {
        const std::uint8_t word = Patterns[w % Patterns.size()];
        for (int i = 0; i < 8; ++i) {
            ioctl(fd, TIOCMBIC, &rts);
            ioctl(fd, TIOCMBIC, &dtr);
            if (word >> i & 1)
                ioctl(fd, TIOCMBIS, &rts);
            ioctl(fd, TIOCMBIS, &dtr);
        }
        if (write(fd, "0", 1) != 1)
            stop("a write failed");
    }
    const double us = elapsedUs(start);
    ::close(fd);
    return us;
}

// (b) The control, by dispatch id: RTSEnable, DTREnable, Output and PortOpen.
// The port is open only for this way's loop.
[[gnu::noinline]] double controlLoop(automation::IControl &c) {
    // A request that fails would make the figures meaningless: stop at once.
    const auto put = [&c](automation::DispId id, Variant value) {
        if (!c.put(id, std::move(value)).ok())
            stop("a request of the control failed");
    };
    put(PortOpen, Variant::fromBool(true));
    const Variant off = Variant::fromBool(false), on = Variant::fromBool(true), zero("0");
    const double start = cpuUs();
    for (int w = 0; w < Words; ++w) {
        const std::uint8_t word = Patterns[w % Patterns.size()];
        for (int i = 0; i < 8; ++i) {
            put(RTSEnable, off);
            put(DTREnable, off);
            if (word >> i & 1)
                put(RTSEnable, on);
            put(DTREnable, on);
        }
        put(Output, zero);
    }
    const double us = elapsedUs(start);
    put(PortOpen, Variant::fromBool(false));
    return us;
}

// (c) QSerialPort on the same pty.
double qtLoop(const QString &path) {
    QSerialPort port(path);
    port.setBaudRate(2400);
    if (!port.open(QIODevice::ReadWrite))
        stop(qPrintable(QStringLiteral("QSerialPort: ") + port.errorString()));
    const double start = cpuUs();
    for (int w = 0; w < Words; ++w) {
        const std::uint8_t word = Patterns[w % Patterns.size()];
        for (int i = 0; i < 8; ++i) {
            port.setRequestToSend(false);
            port.setDataTerminalReady(false);
            if (word >> i & 1)
                port.setRequestToSend(true);
            port.setDataTerminalReady(true);
        }
        port.write("0", 1);
        port.flush();
    }
    const double us = elapsedUs(start);
    port.close();
    return us;
}

// (d) pyserial, in its own process; -1 when python3 or pyserial is missing.
double pyserialLoop(const QString &path) {
    QProcess py;
    py.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    py.start(QStringLiteral(VELMORA_BENCH_PYTHON),
             {QStringLiteral(VELMORA_BENCH_PYSERIAL), path, QString::number(Words)});
    if (!py.waitForFinished(60000) || py.exitStatus() != QProcess::NormalExit || py.exitCode() != 0)
        return -1;
    bool ok = false;
    const double us = py.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? us : -1;
}

struct Spread {
    double min, median, max;
};

Spread spread(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

void row(const char *name, const std::vector<double> &us, const std::vector<double> &floorUs,
         double requests) {
    const Spread t = spread(us);
    std::vector<double> ratios;
    for (std::size_t i = 0; i < us.size(); ++i)
        ratios.push_back(us[i] / floorUs[i]);
    const Spread r = spread(ratios);
    std::printf("  %-22s %6.2f us/word (%.2f-%.2f)  ratio %.2fx (%.2f-%.2f)",
                name,
                t.median / Words,
                t.min / Words,
                t.max / Words,
                r.median,
                r.min,
                r.max);
    if (requests >= 0)
        std::printf("  %6.2f requests/word", requests);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // QSerialPort and QProcess need one
    namespace testing = comm::testing;
    // A private registry holding the control library, and COM1 on a pty.
    QTemporaryDir registry;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(registry.path()));
    const auto lib = automation::loadLibrary(QStringLiteral(VELMORA_COMM_LIB));
    const automation::Result<> registered =
        lib ? lib->registerServer() : automation::Result<>(lib.error());
    if (!registered) {
        std::fprintf(stderr,
                     "comm_bench: cannot register %s: %s\n",
                     VELMORA_COMM_LIB,
                     qPrintable(registered.error().description));
        return 2;
    }
    // COM1 on a pseudo-terminal, without a line trace.
    testing::Pty pty;
    testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(pty.slavePath()));
    const auto created = automation::createObject(QStringLiteral("MSCommLib.MSComm"));
    if (!created) {
        std::fprintf(stderr, "comm_bench: %s\n", qPrintable(created.error().description));
        return 2;
    }
    const automation::ControlPtr control = *created;
    if (const auto set = control->put(Settings, Variant("2400,N,8,1")); !set.ok()) {
        std::fprintf(stderr, "comm_bench: %s\n", qPrintable(set.error().description));
        return 2;
    }

    // Each way opens the port for its own loop only (the control and
    // QSerialPort hold it exclusively); the output is drained after each.
    std::vector<double> bare, ctl, qt, py;
    std::size_t bareRequests = 0, ctlRequests = 0, qtRequests = 0;
    for (int round = 0; round < Rounds; ++round) {
        modemshim_clear();
        bare.push_back(bareLoop(pty.slavePath()));
        bareRequests = modemshim_count();
        pty.read();
        modemshim_clear();
        ctl.push_back(controlLoop(*control));
        ctlRequests = modemshim_count();
        pty.read();
        modemshim_clear();
        qt.push_back(qtLoop(pty.slavePath()));
        qtRequests = modemshim_count();
        pty.read();
        py.push_back(pyserialLoop(pty.slavePath()));
        pty.read();
    }

    // The requests of opening and closing are counted with the loops: a few
    // in a thousand words.
    const double expected = 24.0 + double(setBits()) / Words;
    std::printf(
        "%d words, %d rounds: median (min-max); each ratio to the floor of the same round;\n"
        "modem lines emulated on a pty\n",
        Words,
        Rounds);
    row("(a) bare ioctl loop", bare, bare, double(bareRequests) / Words);
    row("(b) control by dispid", ctl, bare, double(ctlRequests) / Words);
    row("(c) QSerialPort", qt, bare, double(qtRequests) / Words);
    if (std::count(py.begin(), py.end(), -1.0) == 0)
        row("(d) pyserial", py, bare, -1);
    else
        std::printf("  (d) pyserial: not measured (python3 with pyserial, Debian package "
                    "python3-serial, is missing)\n");
    std::printf("  goals: (b) at most 1.15x the floor, and ahead of (c) and (d)\n");
    // The gate: the control's loop, less its open and close, is exactly the words.
    modemshim_clear();
    (void)control->put(PortOpen, Variant::fromBool(true));
    const std::size_t openRequests = modemshim_count();
    modemshim_clear();
    (void)control->put(PortOpen, Variant::fromBool(false));
    const std::size_t loopRequests = ctlRequests - openRequests - modemshim_count();
    const bool gate = double(loopRequests) / Words == expected;
    std::printf("  requests per word through the control: expected 24 + %.2f set bits = %.2f, got "
                "%.2f: %s\n",
                expected - 24,
                expected,
                double(loopRequests) / Words,
                gate ? "ok" : "MISMATCH");
    return gate ? 0 : 1;
}
