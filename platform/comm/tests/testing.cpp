// The comm room's test support (comm/testing.h).
#include "comm/testing.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "automation/server.h"
#include "modemshim.h"

extern "C" int velmora_comm_testing_anchor;
int velmora_comm_testing_anchor = 0;

namespace comm::testing {

namespace {

[[noreturn]] void fatal(const QString& what) { std::fprintf(stderr, "comm testing: %s\n", qPrintable(what)), std::abort(); }

QTemporaryDir& dir() { static QTemporaryDir d; return d; }

QByteArray firstMapping;
QString configFile() { return dir().filePath(QStringLiteral("comm.conf")); }

struct Setup {
    Setup()
    {
        if (!modemshim_count)
            fatal(QStringLiteral("velmora_modemshim.so is not preloaded (LD_PRELOAD): run the tests through "
                                 "ctest, whose velmora_add_test sets it; it keeps them off the serial ports"));
        const QString path = qEnvironmentVariable("VELMORA_COMM_CONFIG");
        QFile f(path);
        if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
            fatal(QStringLiteral("no port mapping in VELMORA_COMM_CONFIG (\"%1\"): run the tests through ctest").arg(path));
        firstMapping = f.readAll();
        static const QRegularExpression simPort(QStringLiteral("^\\s*COM(\\d+)\\s*=\\s*sim\\b"),
                                                QRegularExpression::MultilineOption);
        QSet<int> ports;
        for (auto it = simPort.globalMatch(QString::fromUtf8(firstMapping)); it.hasNext();)
            ports.insert(it.next().captured(1).toInt());
        if (ports.size() != 16 || *std::max_element(ports.begin(), ports.end()) != 16 || firstMapping.contains("/dev/"))
            fatal(QStringLiteral("the port mapping %1 must lead COM1 to COM16 to simulated amplifiers").arg(path));
        if (!dir().isValid())
            fatal(QStringLiteral("cannot create a temporary folder"));
        qputenv("VELMORA_COMM_CONFIG", QFile::encodeName(configFile()));
        restoreConfig();
    }
} setup;

} // namespace

QString tempDir() { return dir().path(); }

void writeConfig(const QString& text)
{
    QFile f(configFile());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0)
        fatal(QStringLiteral("cannot write the private port mapping %1").arg(configFile()));
}

void restoreConfig() { writeConfig(QString::fromUtf8(firstMapping)); }

automation::ControlPtr createPort()
{
    static const automation::Result<> registered = []() -> automation::Result<> {
        qputenv("VELMORA_REGISTRY", QFile::encodeName(dir().filePath(QStringLiteral("registry"))));
        const auto lib = TRY(automation::loadLibrary(qEnvironmentVariable("VELMORA_COMM_LIB")));
        return lib.registerServer();
    }();
    const auto port = registered ? automation::createObject(QStringLiteral("MSCommLib.MSComm"))
                                 : automation::Result<automation::ControlPtr>(registered.error());
    if (!port)
        fatal(QStringLiteral("cannot create MSCommLib.MSComm from $VELMORA_COMM_LIB: %1").arg(port.error().description));
    return *port;
}

automation::Result<> sendWord(automation::IDispatch& port, const std::array<bool, 8>& bits)
{
    using automation::Variant;
    constexpr automation::DispId RTSEnable = 22, DTREnable = 9, Output = 25;
    for (bool b : bits) {
        TRY(port.put(RTSEnable, Variant::fromBool(false)));
        TRY(port.put(DTREnable, Variant::fromBool(false)));
        if (b)
            TRY(port.put(RTSEnable, Variant::fromBool(true)));
        TRY(port.put(DTREnable, Variant::fromBool(true)));
    }
    return port.put(Output, Variant("0"));
}

Pty::Pty()
{
    char name[128];
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) || unlockpt(master_) || ptsname_r(master_, name, sizeof name))
        throw std::runtime_error("cannot open a pseudo-terminal");
    path_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (slave_ < 0 || fstat(slave_, &st) != 0)
        throw std::runtime_error("cannot open the pseudo-terminal's slave");
    device_ = st.st_rdev;
}

Pty::~Pty() { ::close(slave_), hangUp(); }
termios Pty::slaveSettings() const { termios t{}; tcgetattr(slave_, &t); return t; }

QByteArray Pty::read()
{
    QByteArray all;
    char buf[4096];
    for (ssize_t n; master_ >= 0 && (n = ::read(master_, buf, sizeof buf)) > 0;)
        all.append(buf, n);
    return all;
}

void Pty::hangUp() { ::close(std::exchange(master_, -1)); }

std::vector<ModemRequest> modemRequests()
{
    std::vector<ModemRequest> out;
    for (std::size_t i = 0; i < modemshim_count(); ++i) {
        const modemshim_request& r = modemshim_log()[i];
        out.push_back({r.dev, r.request, r.arg, r.error, r.lines});
    }
    return out;
}
void clearModemRequests() { modemshim_clear(); }
int modemLines(dev_t device) { return modemshim_lines(device); }
void setModemInputs(dev_t device, int inputs) { modemshim_set_inputs(device, inputs); }
void failModemRequests(dev_t device, int err) { modemshim_fail(device, err); }

} // namespace comm::testing
