// regsvr: registers or unregisters the classes of control libraries by
// calling the library's own DllRegisterServer or DllUnregisterServer.
//
//   regsvr [--system] [-u] [-s] <library> ...
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "automation/registry.h"
#include "automation/server.h"

using namespace automation;

namespace {

QTextStream& outStream()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& errStream()
{
    static QTextStream s(stderr);
    return s;
}

constexpr char Usage[] =
    "usage: regsvr [--system] [-u] [-s] <library> ...\n"
    "  Registers the control classes of each library (unregisters with -u).\n"
    "  --system  write to the system-wide registry instead of the user's\n"
    "  -u        unregister\n"
    "  -s        silent: print nothing on success\n"
    "  The registry used is $VELMORA_REGISTRY when it is set.\n";

// Registers or unregisters one library; false (after saying why) on failure.
bool process(const QString& path, bool unregister, bool silent)
{
    const auto lib = loadLibrary(path);
    if (!lib) {
        errStream() << "regsvr: " << lib.error().description << Qt::endl;
        return false;
    }
    // The error names the entry point, the library, its code and its reason.
    const Result<> done = unregister ? lib->unregisterServer() : lib->registerServer();
    if (!done) {
        errStream() << "regsvr: " << done.error().description << Qt::endl;
        return false;
    }
    if (!silent)
        outStream() << (unregister ? "Unregistered " : "Registered ") << lib->path << " ("
                    << QDir::toNativeSeparators(registry::writeDir(registry::defaultScope())) << ")" << Qt::endl;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool unregister = false, system = false, silent = false;
    QStringList libraries;
    bool options = true;
    for (const QString& a : app.arguments().mid(1)) {
        if (options && a == QLatin1String("--")) {
            options = false;
        } else if (options && (a == QLatin1String("-u") || a == QLatin1String("--unregister"))) {
            unregister = true;
        } else if (options && a == QLatin1String("--system")) {
            system = true;
        } else if (options && (a == QLatin1String("-s") || a == QLatin1String("--silent"))) {
            silent = true;
        } else if (options && (a == QLatin1String("-h") || a == QLatin1String("--help"))) {
            outStream() << Usage << Qt::flush;
            return 0;
        } else if (options && a.startsWith(QLatin1Char('-'))) {
            errStream() << "regsvr: unknown option " << a << "\n" << Usage << Qt::flush;
            return 2;
        } else {
            libraries << a;
        }
    }
    if (libraries.isEmpty()) {
        errStream() << "regsvr: no library given\n" << Usage << Qt::flush;
        return 2;
    }
    if (system)
        registry::setDefaultScope(registry::Scope::System);

    bool ok = true;
    for (const QString& path : libraries)
        ok = process(path, unregister, silent) && ok;
    return ok ? 0 : 1;
}
