#include "shell/testing.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "automation/server.h"
#include "shell/trayhosts.h"

namespace shell::testing {

namespace {
const QString ConnectionName = QStringLiteral("velmora-test-tray-host");
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
} // namespace

bool startPrivateBus() {
    // A session bus that starts no services of its own: a desktop service
    // installed here must not answer in place of a test's own.
    static QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly) ||
        !config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</"
                      "listen><auth>EXTERNAL</auth><policy context=\"default\">"
                      "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow "
                      "eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>"))
        return false;
    config.close();
    static auto *daemon = new QProcess; // lives as long as the test
    daemon->start(QStringLiteral("setpriv"),
                  {"--pdeathsig",
                   "TERM",
                   "--",
                   "dbus-daemon",
                   "--config-file=" + config.fileName(),
                   "--nofork",
                   "--print-address"});
    if (!daemon->waitForReadyRead(10000))
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon->readLine().trimmed());
    return true;
}

QByteArray takeTrace() {
    QFile f(qEnvironmentVariable("VELMORA_SHELL_TRACE"));
    const QByteArray all =
        f.open(QIODevice::ReadWrite) ? f.readAll().trimmed() : QByteArray("<no trace>");
    f.resize(0);
    return all;
}

void registerControl(const char *library) {
    static QTemporaryDir dir;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(dir.filePath(QStringLiteral("registry"))));
    qputenv("VELMORA_SHELL_TRACE", QFile::encodeName(dir.filePath(QStringLiteral("trace"))));
    static const auto loaded = automation::loadLibrary(qEnvironmentVariable(library));
    if (!loaded || !loaded->registerServer())
        qFatal("cannot register $%s", library);
}

TrayHost::TrayHost()
    : bus(QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                        ConnectionName)) {
    bus.registerObject(
        QStringLiteral("/StatusNotifierWatcher"), this, QDBusConnection::ExportAllContents);
}

TrayHost::~TrayHost() {
    QDBusConnection::disconnectFromBus(ConnectionName);
}

bool TrayHost::setPresent(bool present) {
    shell::TrayHosts::instance(); // watching from before the change
    present ? bus.registerService(WatcherService) : bus.unregisterService(WatcherService);
    return QTest::qWaitFor([present] { return shell::trayHostPresent() == present; });
}

} // namespace shell::testing
