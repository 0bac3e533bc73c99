// Which backend reads a port's target: one small table of schemes. A device
// path starts with '/'; any other target is "<scheme>", "<scheme>:..." or
// "<scheme>?...". A backend of a library of its own is loaded when a target
// of its scheme is first read, so a process whose ports all lead to devices
// never loads it. A library the process has loaded already (a test linking
// it) is the one used; otherwise it is loaded from this library's folder,
// where the build tree and the package put both. (Not through the RUNPATH:
// a dlopen wrapper, such as AddressSanitizer's, makes itself the caller
// whose search path applies.)
#include <QFile>
#include <QHash>
#include <dlfcn.h>

#include "backends.h"
#include "comm/errors.h"

namespace comm {

namespace {

struct Scheme {
    QLatin1StringView name;   // "/": a device path
    QLatin1StringView module; // the library's file name; empty: built in
    SchemeReader builtIn;
};

const Scheme schemes[] = {
    {QLatin1StringView("/"), {}, readDeviceTarget},
    {QLatin1StringView("sim"), QLatin1StringView("libvelmora_simulator.so"), nullptr},
};

bool takes(const Scheme &s, const QString &value) {
    if (s.name == QLatin1StringView("/"))
        return value.startsWith(u'/');
    if (!value.startsWith(s.name))
        return false;
    return value.size() == s.name.size() || value[s.name.size()] == u':' ||
           value[s.name.size()] == u'?';
}

// The folder of the file this code was loaded from, with a trailing '/'.
QString ownFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&ownFolder), &info) || !info.dli_fname)
        return {};
    const QString file = QFile::decodeName(info.dli_fname);
    return file.left(file.lastIndexOf(u'/') + 1);
}

// The scheme's reader from its library, loaded once and kept for the life
// of the process (what a backend creates may live as long as the process).
automation::Result<SchemeReader> reader(const Scheme &s) {
    if (s.builtIn)
        return s.builtIn;
    static QHash<QString, automation::Result<SchemeReader>> loaded;
    const QString module = s.module;
    if (auto it = loaded.constFind(module); it != loaded.constEnd())
        return *it;
    automation::Result<SchemeReader> found = [&]() -> automation::Result<SchemeReader> {
        void *library = dlopen(module.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
        if (!library)
            library = dlopen(QFile::encodeName(ownFolder() + module).constData(), RTLD_NOW);
        void *symbol = library ? dlsym(library, SchemeReaderSymbol) : nullptr;
        if (symbol)
            return reinterpret_cast<SchemeReader>(symbol);
        return lineError(err::HardwareNotAvailable,
                         QStringLiteral("the backend of \"%1\" targets cannot be loaded: %2")
                             .arg(s.name, QString::fromLocal8Bit(dlerror())));
    }();
    loaded.insert(module, found);
    return found;
}

} // namespace

TargetResult readTarget(const QString &value) {
    for (const Scheme &s : schemes) {
        if (!takes(s, value))
            continue;
        const SchemeReader read = TRY(reader(s));
        return read(value);
    }
    return lineError(
        err::HardwareNotAvailable,
        QStringLiteral("\"%1\" is neither a device path (/dev/...) nor \"sim\" or \"sim:<name>\"")
            .arg(value));
}

} // namespace comm
