// The comm room's test support (comm/testing.h).
#include "comm/testing.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "automation/server.h"

extern "C" {
int velmora_comm_testing_anchor = 0;
}

namespace comm::testing {

namespace {

QTemporaryDir &dir() {
    static QTemporaryDir d;
    return d;
}

QByteArray firstMapping;

// The offscreen platform the tests run on cannot raise a window, and says so
// each time the panel brings one forward; only that line is dropped, every
// other message goes where it went before.
QtMessageHandler nextHandler = nullptr;
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtWarningMsg && text == QLatin1String("This plugin does not support raise()"))
        return;
    nextHandler(type, context, text);
}

QString configFile() {
    return dir().filePath(QStringLiteral("comm.conf"));
}

struct Setup {
    Setup() {
        if (!modemshim_count)
            qFatal("comm testing: velmora_modemshim.so is not preloaded (LD_PRELOAD): run the "
                   "tests through "
                   "ctest, whose velmora_add_test sets it; it keeps them off the serial ports");
        const QString path = qEnvironmentVariable("VELMORA_COMM_CONFIG");
        QFile f(path);
        if (path.isEmpty() || !f.open(QIODevice::ReadOnly) || !dir().isValid())
            qFatal("comm testing: no port mapping in VELMORA_COMM_CONFIG (\"%s\"): run the tests "
                   "through ctest",
                   qPrintable(path));
        firstMapping = f.readAll();
        for (int n = 1; n <= 16; ++n)
            if (!QString::fromUtf8(firstMapping)
                     .contains(
                         QRegularExpression(QStringLiteral("^\\s*COM%1\\s*=\\s*sim\\b").arg(n),
                                            QRegularExpression::MultilineOption)) ||
                firstMapping.contains("/dev/"))
                qFatal("comm testing: the port mapping %s must lead COM1 to COM16 to \"sim\" "
                       "targets",
                       qPrintable(path));
        qputenv("VELMORA_COMM_CONFIG", QFile::encodeName(configFile()));
        restoreConfig();
        // A runtime folder of the process's own, private as a session's is
        // (Qt warns about any other): the user's holds the panel's instance lock.
        const QString runtime = dir().filePath(QStringLiteral("runtime"));
        if (!QDir().mkdir(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            qFatal("comm testing: cannot make the runtime folder %s", qPrintable(runtime));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        nextHandler = qInstallMessageHandler(quietOffscreen);
    }
} setup;

} // namespace

QString tempDir() {
    return dir().path();
}

void writeConfig(const QString &text) {
    QFile f(configFile());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0)
        qFatal("comm testing: cannot write the private port mapping %s", qPrintable(configFile()));
}

void restoreConfig() {
    writeConfig(QString::fromUtf8(firstMapping));
}

automation::ControlPtr createPort() {
    static const automation::Result<> registered = []() -> automation::Result<> {
        qputenv("VELMORA_REGISTRY", QFile::encodeName(dir().filePath(QStringLiteral("registry"))));
        return TRY(automation::loadLibrary(qEnvironmentVariable("VELMORA_COMM_LIB")))
            .registerServer();
    }();
    const auto port = registered ? automation::createObject(QStringLiteral("MSCommLib.MSComm"))
                                 : automation::Result<automation::ControlPtr>(registered.error());
    if (!port)
        qFatal("comm testing: cannot create MSCommLib.MSComm from $VELMORA_COMM_LIB: %s",
               qPrintable(port.error().description));
    return *port;
}

automation::Result<> sendWords(automation::IControl &port, const std::vector<Word> &words) {
    enum { DTREnable = 9, RTSEnable = 22, Output = 25 };
    const auto level = [](bool on) {
        return automation::Variant::fromBool(on);
    };
    for (const Word &w : words) {
        for (bool set : w) {
            TRY(port.put(RTSEnable, level(false)));
            TRY(port.put(DTREnable, level(false)));
            if (set)
                TRY(port.put(RTSEnable, level(true)));
            TRY(port.put(DTREnable, level(true)));
        }
        TRY(port.put(Output, automation::Variant("0")));
    }
    return {};
}

Pty::Pty() {
    char name[128];
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (master_ < 0 || grantpt(master_) || unlockpt(master_) ||
        ptsname_r(master_, name, sizeof name) ||
        (slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) < 0 ||
        fstat(slave_, &st) != 0)
        qFatal("comm testing: cannot open a pseudo-terminal");
    path_ = QString::fromLocal8Bit(name);
    device_ = st.st_rdev;
}

Pty::~Pty() {
    ::close(slave_), hangUp();
}

QByteArray Pty::read() {
    QByteArray all;
    char buf[4096];
    for (ssize_t n; master_ >= 0 && (n = ::read(master_, buf, sizeof buf)) > 0;)
        all.append(buf, n);
    return all;
}

void Pty::hangUp() {
    ::close(std::exchange(master_, -1));
}

} // namespace comm::testing
