// The comm room's test support: this process's private port mapping, pseudo-
// terminals, and command words sent through a serial-port control.
#include "comm/testing.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "modemshim.h"

extern "C" int velmora_comm_testing_anchor;
int velmora_comm_testing_anchor = 0;

namespace comm::testing {

namespace {

[[noreturn]] void fatal(const QString& what)
{
    std::fprintf(stderr, "comm testing: %s\n", qPrintable(what));
    std::abort();
}

QTemporaryDir& dir()
{
    static QTemporaryDir d;
    return d;
}

QByteArray& startMapping()
{
    static QByteArray text;
    return text;
}

QString configFile() { return dir().filePath(QStringLiteral("comm.conf")); }

// The mapping ctest hands the process must lead every port to a simulated
// amplifier: then nothing a test does reaches a device of the machine.
QByteArray checkedStartMapping()
{
    const QString path = qEnvironmentVariable("VELMORA_COMM_CONFIG");
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        fatal(QStringLiteral("no port mapping in VELMORA_COMM_CONFIG (\"%1\"): run the tests through ctest, "
                             "whose velmora_add_test sets it").arg(path));
    const QByteArray text = f.readAll();
    static const QRegularExpression simPort(QStringLiteral("^\\s*COM(\\d+)\\s*=\\s*sim\\b"),
                                            QRegularExpression::MultilineOption);
    QSet<int> ports;
    for (auto it = simPort.globalMatch(QString::fromUtf8(text)); it.hasNext();)
        ports.insert(it.next().captured(1).toInt());
    if (ports != QSet<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16} || text.contains("/dev/"))
        fatal(QStringLiteral("the port mapping %1 must lead COM1 to COM16 to simulated amplifiers").arg(path));
    return text;
}

struct Setup {
    Setup()
    {
        if (!modemshim_count)
            fatal(QStringLiteral("velmora_modemshim.so is not preloaded (LD_PRELOAD): run the tests through "
                                 "ctest, whose velmora_add_test sets it; it keeps them off the serial ports"));
        startMapping() = checkedStartMapping();
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

void restoreConfig() { writeConfig(QString::fromUtf8(startMapping())); }

Pty::Pty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    path_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (slave_ < 0 || fstat(slave_, &st) != 0)
        throw std::runtime_error("cannot open the pseudo-terminal's slave");
    device_ = st.st_rdev;
}

Pty::~Pty()
{
    if (slave_ >= 0)
        ::close(slave_);
    hangUp();
}

termios Pty::slaveSettings() const
{
    termios t{};
    if (tcgetattr(slave_, &t) != 0)
        throw std::runtime_error("tcgetattr on the slave failed");
    return t;
}

QByteArray Pty::read()
{
    QByteArray all;
    char buf[4096];
    ssize_t n;
    while (master_ >= 0 && (n = ::read(master_, buf, sizeof buf)) > 0)
        all.append(buf, n);
    return all;
}

void Pty::hangUp()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

// The shim's functions are weak references: resolved when it is preloaded.
std::vector<ModemRequest> modemRequests()
{
    const modemshim_request* log = modemshim_log();
    std::vector<ModemRequest> out;
    for (std::size_t i = 0; i < modemshim_count(); ++i)
        out.push_back({log[i].dev, log[i].request, log[i].arg, log[i].error, log[i].lines});
    return out;
}
void clearModemRequests() { modemshim_clear(); }
int modemLines(dev_t device) { return modemshim_lines(device); }
void setModemInputs(dev_t device, int inputs) { modemshim_set_inputs(device, inputs); }
void failModemRequests(dev_t device, int err) { modemshim_fail(device, err); }

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

} // namespace comm::testing
