// Private comm configuration and the /dev/ttyS* guard for test processes.
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int velmora_comm_testsupport_anchor;
int velmora_comm_testsupport_anchor = 0;

namespace comm::testing {

namespace {

const char* const DefaultConfig =
    "# Private comm configuration of a test process\n"
    "COM1 = sim\n"
    "COM2 = sim:com2\n"
    "COM3 = sim:com3\n";

QTemporaryDir& dir()
{
    static QTemporaryDir d;
    return d;
}

void fatal(const char* what)
{
    std::fprintf(stderr, "comm test support: %s\n", what);
    std::abort();
}

struct Setup {
    Setup()
    {
        if (!dir().isValid())
            fatal("cannot create a temporary folder");
        qputenv("VELMORA_COMM_CONFIG", QFile::encodeName(configFile()));
        qputenv("VELMORA_COMM_FORBID", "/dev/ttyS");
        restoreConfig();
    }
} setup;

} // namespace

QString tempDir() { return dir().path(); }

QString configFile() { return dir().filePath(QStringLiteral("comm.conf")); }

void writeConfig(const QString& text)
{
    QFile f(configFile());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0)
        fatal("cannot write the private comm configuration");
}

void restoreConfig() { writeConfig(QString::fromLatin1(DefaultConfig)); }

Pty::Pty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("ptsname_r failed");
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

automation::Result<> sendWord(automation::IDispatch& comm, const std::array<bool, 8>& bits)
{
    using automation::Variant;
    constexpr automation::DispId RTSEnable = 22, DTREnable = 9, Output = 25;
    for (bool b : bits) {
        comm.put(RTSEnable, Variant::fromBool(false));
        comm.put(DTREnable, Variant::fromBool(false));
        if (b)
            comm.put(RTSEnable, Variant::fromBool(true));
        comm.put(DTREnable, Variant::fromBool(true));
    }
    return comm.put(Output, Variant("0"));
}

} // namespace comm::testing
