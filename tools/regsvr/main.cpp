// regsvr: registers or unregisters the classes of control libraries by
// calling the library's own DllRegisterServer or DllUnregisterServer.
//
//   regsvr [--system] [-u] [-s] <library> ...
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "../common/log.h"
#include "automation/registry.h"
#include "automation/server.h"

using namespace automation;

namespace {

QTextStream &outStream() {
    static QTextStream s(stdout);
    return s;
}

QTextStream &errStream() {
    static QTextStream s(stderr);
    return s;
}

// The name it was started by: regsvr in a build tree, velmora-regsvr installed.
QString self() {
    return QCoreApplication::applicationName();
}

QString usage() {
    return QStringLiteral("usage: %1 [--system] [-u] [-s] <library> ...\n"
                          "  Registers the control classes of each library (unregisters with -u).\n"
                          "  --system  write to the system-wide registry instead of the user's\n"
                          "  -u        unregister\n"
                          "  -s        silent: print nothing on success\n"
                          "  The registry used is $VELMORA_REGISTRY when it is set.\n")
        .arg(self());
}

// Registers or unregisters one library; the line that reports it. A failure
// names the entry point, the library, its code and its reason.
Result<QString> process(const QString &path, bool unregister) {
    qCDebug(toolsLog) << "calling" << (unregister ? "DllUnregisterServer" : "DllRegisterServer")
                      << "of" << path;
    const LoadedLibrary lib = TRY(loadLibrary(path));
    TRY(unregister ? lib.unregisterServer() : lib.registerServer());
    return QStringLiteral("%1 %2 (%3)")
        .arg(unregister ? QStringLiteral("Unregistered") : QStringLiteral("Registered"),
             lib.path,
             QDir::toNativeSeparators(registry::writeDir(registry::defaultScope())));
}

// A class registered for this user hides the system's registration of the
// same class from this user (the user's folder is looked up first). After
// registering `library`, each of its class files that has a twin in the other
// folder is reported, naming both files. With $VELMORA_REGISTRY there is one
// folder only and nothing hides anything.
void reportShadowing(const QString &library) {
    if (!qEnvironmentVariableIsEmpty("VELMORA_REGISTRY"))
        return;
    const bool system = registry::defaultScope() == registry::Scope::System;
    const QDir written(registry::writeDir(registry::defaultScope()));
    const QDir other(system ? registry::userDir() : registry::systemDir());
    for (const QFileInfo &entry :
         written.entryInfoList({QStringLiteral("*.class")}, QDir::Files, QDir::Name)) {
        QFile f(entry.absoluteFilePath());
        if (!other.exists(entry.fileName()) || !f.open(QIODevice::ReadOnly))
            continue;
        const Result<ClassRegistration> reg = ClassRegistration::fromText(f.read(64 * 1024));
        if (!reg || reg->library != library)
            continue;
        const QString twin = QDir::toNativeSeparators(other.filePath(entry.fileName()));
        const QString mine = QDir::toNativeSeparators(entry.absoluteFilePath());
        errStream() << self() << ": warning: " << (system ? twin : mine)
                    << " (this user's registration of " << reg->progId << ") shadows "
                    << (system ? mine : twin) << " for this user" << Qt::endl;
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bool unregister = false, system = false, silent = false;
    QStringList libraries;
    bool options = true;
    for (const QString &a : app.arguments().mid(1)) {
        if (options && a == QLatin1String("--")) {
            options = false;
        } else if (options && (a == QLatin1String("-u") || a == QLatin1String("--unregister"))) {
            unregister = true;
        } else if (options && a == QLatin1String("--system")) {
            system = true;
        } else if (options && (a == QLatin1String("-s") || a == QLatin1String("--silent"))) {
            silent = true;
        } else if (options && (a == QLatin1String("-h") || a == QLatin1String("--help"))) {
            outStream() << usage() << Qt::flush;
            return 0;
        } else if (options && a.startsWith(QLatin1Char('-'))) {
            errStream() << self() << ": unknown option " << a << "\n" << usage() << Qt::flush;
            return 2;
        } else {
            libraries << a;
        }
    }
    if (libraries.isEmpty()) {
        errStream() << self() << ": no library given\n" << usage() << Qt::flush;
        return 2;
    }
    if (system)
        registry::setDefaultScope(registry::Scope::System);

    bool ok = true;
    for (const QString &path : libraries) {
        const Result<QString> done = process(path, unregister);
        if (!done)
            errStream() << self() << ": " << done.error().description << Qt::endl;
        else if (!silent)
            outStream() << *done << Qt::endl;
        if (done && !unregister)
            reportShadowing(QFileInfo(path).canonicalFilePath());
        ok = done.ok() && ok;
    }
    return ok ? 0 : 1;
}
