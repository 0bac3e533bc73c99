#include "automation/server.h"

#include <QFileInfo>

#include <dlfcn.h>
#include <map>
#include <memory>

namespace automation {

namespace {

Error g_lastServerError;

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(std::function<ControlPtr()> create) : create_(std::move(create)) {}
    ControlPtr createInstance(Error* error) override
    {
        ControlPtr c = create_ ? create_() : nullptr;
        if (!c && error)
            *error = makeError(err::CannotCreateObject, {}, QStringLiteral("class factory"));
        return c;
    }

private:
    std::function<ControlPtr()> create_;
};

// Libraries are loaded once and kept: Qt objects a library made may outlive
// any one control, so a library is never unloaded.
std::map<QString, LoadedLibrary>& loaded()
{
    static std::map<QString, LoadedLibrary> libs;
    return libs;
}

} // namespace

std::int32_t serverRegister(const std::vector<ServedClass>& classes, const void* anchor)
{
    Dl_info info{};
    if (!dladdr(anchor, &info) || !info.dli_fname) {
        g_lastServerError = makeError(err::FileNotFound, QStringLiteral("The library cannot find its own file"), QStringLiteral("DllRegisterServer"));
        return hr::SelfRegClass;
    }
    const QString path = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
    for (const ServedClass& c : classes) {
        ClassRegistration reg = c.registration;
        reg.library = path;
        // A toolbox bitmap given as a bare resource id lives in this library.
        if (!reg.toolboxBitmap.isEmpty() && !reg.toolboxBitmap.contains(QLatin1Char('/')))
            reg.toolboxBitmap = path + QLatin1Char(',') + reg.toolboxBitmap.section(QLatin1Char(','), -1).trimmed();
        if (Result<> r = registry::add(reg); !r.ok()) {
            g_lastServerError = r.error();
            return hr::SelfRegClass;
        }
    }
    return hr::Ok;
}

std::int32_t serverUnregister(const std::vector<ServedClass>& classes)
{
    for (const ServedClass& c : classes) {
        if (Result<> r = registry::remove(c.registration.clsid); !r.ok()) {
            g_lastServerError = r.error();
            return hr::SelfRegClass;
        }
    }
    return hr::Ok;
}

std::int32_t serverGetClassObject(const std::vector<ServedClass>& classes, const QUuid* clsid, IClassFactory** out)
{
    if (!out)
        return hr::Fail;
    *out = nullptr;
    for (const ServedClass& c : classes) {
        if (clsid && c.registration.clsid == *clsid) {
            // Factories live for the life of the process, like the library.
            static std::map<QUuid, std::unique_ptr<ClassFactory>> factories;
            auto& f = factories[*clsid];
            if (!f)
                f = std::make_unique<ClassFactory>(c.create);
            *out = f.get();
            return hr::Ok;
        }
    }
    return hr::ClassNotAvailable;
}

std::int32_t serverCanUnloadNow() { return hr::False; }

Error lastServerError() { return g_lastServerError; }

std::optional<LoadedLibrary> loadLibrary(const QString& path, Error* error)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    if (auto it = loaded().find(key); it != loaded().end())
        return it->second;
    auto fail = [&](const QString& why) {
        if (error)
            *error = makeError(err::FileNotFound, QStringLiteral("Cannot load %1: %2").arg(path, why), QStringLiteral("loader"));
        return std::optional<LoadedLibrary>();
    };
    if (!QFileInfo::exists(key))
        return fail(QStringLiteral("no such file"));
    void* h = dlopen(QFile::encodeName(key).constData(), RTLD_NOW | RTLD_NODELETE);
    if (!h)
        return fail(QString::fromLocal8Bit(dlerror()));
    LoadedLibrary lib;
    lib.path = key;
    lib.registerServer = reinterpret_cast<std::int32_t (*)()>(dlsym(h, "DllRegisterServer"));
    lib.unregisterServer = reinterpret_cast<std::int32_t (*)()>(dlsym(h, "DllUnregisterServer"));
    lib.getClassObject = reinterpret_cast<std::int32_t (*)(const QUuid*, IClassFactory**)>(dlsym(h, "DllGetClassObject"));
    lib.canUnloadNow = reinterpret_cast<std::int32_t (*)()>(dlsym(h, "DllCanUnloadNow"));
    if (!lib.registerServer || !lib.unregisterServer || !lib.getClassObject || !lib.canUnloadNow)
        return fail(QStringLiteral("it is not a control library (DllRegisterServer, DllUnregisterServer, DllGetClassObject or DllCanUnloadNow missing)"));
    loaded()[key] = lib;
    return lib;
}

ControlPtr createObject(const QString& progIdOrClsid, Error* error)
{
    const QString name = progIdOrClsid.trimmed();
    std::optional<ClassRegistration> reg;
    if (name.startsWith(QLatin1Char('{'))) {
        const QUuid id = QUuid::fromString(name);
        if (id.isNull()) {
            if (error)
                *error = makeError(err::CannotCreateObject, QStringLiteral("Can't create object: %1 is not a class id").arg(name), QStringLiteral("loader"));
            return nullptr;
        }
        reg = registry::findByClsid(id, error);
    } else {
        reg = registry::findByProgId(name, error);
    }
    if (!reg)
        return nullptr;
    Error e;
    auto lib = loadLibrary(reg->library, &e);
    if (!lib) {
        if (error)
            *error = makeError(err::CannotCreateObject, QStringLiteral("Can't create object %1: %2").arg(name, e.description), QStringLiteral("loader"));
        return nullptr;
    }
    IClassFactory* factory = nullptr;
    if (lib->getClassObject(&reg->clsid, &factory) != hr::Ok || !factory) {
        if (error)
            *error = makeError(err::CannotCreateObject,
                               QStringLiteral("Can't create object %1: %2 does not serve class %3").arg(name, reg->library, reg->clsid.toString()),
                               QStringLiteral("loader"));
        return nullptr;
    }
    return factory->createInstance(error);
}

} // namespace automation
