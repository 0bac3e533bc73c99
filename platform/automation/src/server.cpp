#include "automation/server.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <dlfcn.h>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "automation/smallfile.h"
#include "logging.h"

namespace automation {

// The key function of the factory interface (see IDispatch's).
IClassFactory::~IClassFactory() = default;

namespace {

// This thread's error information: why the DllRegisterServer or
// DllUnregisterServer running in this thread failed. The library side sets
// it; the host side of the same call takes it (LoadedLibrary).
thread_local std::optional<Error> t_errorInfo;

// The code an export answers for r; a failure leaves its reason behind.
std::int32_t exportCode(const Result<> &r) {
    if (r.ok())
        return hr::Ok;
    t_errorInfo = r.error();
    return hr::SelfRegClass;
}

class ClassFactory : public IClassFactory {
  public:
    explicit ClassFactory(std::function<ControlPtr()> create) : create_(std::move(create)) {}
    Result<ControlPtr> createInstance() override {
        ControlPtr c = create_ ? create_() : nullptr;
        if (!c)
            return Result<ControlPtr>::fail(
                err::CannotCreateObject, {}, QStringLiteral("class factory"));
        return c;
    }

  private:
    std::function<ControlPtr()> create_;
};

// Libraries are loaded once and kept: Qt objects a library made may outlive
// any one control, so a library is never unloaded.
std::map<QString, LoadedLibrary> &loaded() {
    static std::map<QString, LoadedLibrary> libs;
    return libs;
}

Result<> registerClasses(const std::vector<ServedClass> &classes, const void *anchor) {
    Dl_info info{};
    if (!dladdr(anchor, &info) || !info.dli_fname)
        return Result<>::fail(err::FileNotFound,
                              QStringLiteral("The library cannot find its own file"),
                              QStringLiteral("DllRegisterServer"));
    const QString path = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
    for (const ServedClass &c : classes) {
        ClassRegistration reg = c.registration;
        reg.library = path;
        // A toolbox bitmap given as a bare resource id lives in this library.
        if (!reg.toolboxBitmap.isEmpty() && !reg.toolboxBitmap.contains(QLatin1Char('/')))
            reg.toolboxBitmap =
                path + QLatin1Char(',') + reg.toolboxBitmap.section(QLatin1Char(','), -1).trimmed();
        TRY(registry::add(reg));
    }
    return {};
}

Result<> unregisterClasses(const std::vector<ServedClass> &classes) {
    for (const ServedClass &c : classes)
        TRY(registry::remove(c.registration.clsid));
    return {};
}

Error loaderError(const QString &text) {
    return makeError(err::CannotCreateObject, text, QStringLiteral("loader"));
}

} // namespace

std::int32_t serverRegister(const std::vector<ServedClass> &classes, const void *anchor) {
    return exportCode(registerClasses(classes, anchor));
}

std::int32_t serverUnregister(const std::vector<ServedClass> &classes) {
    return exportCode(unregisterClasses(classes));
}

std::int32_t serverGetClassObject(const std::vector<ServedClass> &classes, const QUuid *clsid,
                                  IClassFactory **out) {
    if (!out)
        return hr::Fail;
    *out = nullptr;
    for (const ServedClass &c : classes) {
        if (clsid && c.registration.clsid == *clsid) {
            // Factories live for the life of the process, like the library.
            static std::map<QUuid, std::unique_ptr<ClassFactory>> factories;
            auto &f = factories[*clsid];
            if (!f)
                f = std::make_unique<ClassFactory>(c.create);
            *out = f.get();
            return hr::Ok;
        }
    }
    return hr::ClassNotAvailable;
}

std::int32_t serverCanUnloadNow() {
    return hr::False;
}

Result<> LoadedLibrary::selfRegistration(std::int32_t (*entry)(), const char *name) const {
    t_errorInfo.reset();
    const std::int32_t code = entry();
    const std::optional<Error> info = std::exchange(t_errorInfo, std::nullopt);
    if (code >= 0)
        return {};
    QString text = QStringLiteral("%1 in %2 failed with 0x%3")
                       .arg(QLatin1String(name), path)
                       .arg(std::uint32_t(code), 8, 16, QLatin1Char('0'));
    if (info && !info->description.isEmpty())
        text += QStringLiteral(": ") + info->description;
    qCDebug(lcAutomation).noquote() << text;
    return makeError(
        info ? info->number : code, text, info ? info->source : QString::fromLatin1(name));
}

Result<> LoadedLibrary::registerServer() const {
    return selfRegistration(registerServer_, "DllRegisterServer");
}

Result<> LoadedLibrary::unregisterServer() const {
    return selfRegistration(unregisterServer_, "DllUnregisterServer");
}

Result<IClassFactory *> LoadedLibrary::classFactory(const QUuid &clsid) const {
    IClassFactory *factory = nullptr;
    if (getClassObject_(&clsid, &factory) < 0 || !factory)
        return loaderError(
            QStringLiteral("%1 does not serve class %2").arg(path, clsid.toString()));
    return factory;
}

bool LoadedLibrary::canUnloadNow() const {
    return canUnloadNow_() == hr::Ok;
}

Result<LoadedLibrary> loadLibrary(const QString &path) {
    const QString key = QFileInfo(path).absoluteFilePath();
    if (auto it = loaded().find(key); it != loaded().end())
        return it->second;
    auto fail = [&](const QString &why) {
        return makeError(err::FileNotFound,
                         QStringLiteral("Cannot load %1: %2").arg(path, why),
                         QStringLiteral("loader"));
    };
    // Only a regular file is handed to the dynamic loader, which would wait
    // for ever on a FIFO in the library's place.
    struct stat st {};
    if (::stat(QFile::encodeName(key).constData(), &st) != 0)
        return fail(QStringLiteral("no such file"));
    if (const QString why = notRegularFile(st.st_mode); !why.isEmpty())
        return fail(why);
    void *h = dlopen(QFile::encodeName(key).constData(), RTLD_NOW | RTLD_NODELETE);
    if (!h)
        return fail(QString::fromLocal8Bit(dlerror()));
    LoadedLibrary lib;
    lib.path = key;
    lib.registerServer_ = reinterpret_cast<std::int32_t (*)()>(dlsym(h, "DllRegisterServer"));
    lib.unregisterServer_ = reinterpret_cast<std::int32_t (*)()>(dlsym(h, "DllUnregisterServer"));
    lib.getClassObject_ = reinterpret_cast<std::int32_t (*)(const QUuid *, IClassFactory **)>(
        dlsym(h, "DllGetClassObject"));
    lib.canUnloadNow_ = reinterpret_cast<std::int32_t (*)()>(dlsym(h, "DllCanUnloadNow"));
    if (!lib.registerServer_ || !lib.unregisterServer_ || !lib.getClassObject_ ||
        !lib.canUnloadNow_)
        return fail(
            QStringLiteral("it is not a control library (DllRegisterServer, DllUnregisterServer, "
                           "DllGetClassObject or DllCanUnloadNow missing)"));
    loaded()[key] = lib;
    return lib;
}

Result<ClassRegistration> findClass(const QString &progIdOrClsid) {
    const QString name = progIdOrClsid.trimmed();
    if (!name.startsWith(QLatin1Char('{')))
        return registry::findByProgId(name);
    const QUuid id = QUuid::fromString(name);
    if (id.isNull())
        return loaderError(QStringLiteral("Can't create object: %1 is not a class id").arg(name));
    return registry::findByClsid(id);
}

Result<ControlPtr> createObject(const ClassRegistration &registration) {
    // The class and, when the registry read it, the class file that names the
    // library: the file to fix (or to register afresh) when the library fails.
    QString name =
        registration.progId.isEmpty() ? registration.clsid.toString() : registration.progId;
    if (!registration.file.isEmpty())
        name +=
            QStringLiteral(" (registered in %1)").arg(QDir::toNativeSeparators(registration.file));
    const Result<LoadedLibrary> lib = loadLibrary(registration.library);
    if (!lib)
        return loaderError(
            QStringLiteral("Can't create object %1: %2").arg(name, lib.error().description));
    const Result<IClassFactory *> factory = lib->classFactory(registration.clsid);
    if (!factory)
        return loaderError(
            QStringLiteral("Can't create object %1: %2").arg(name, factory.error().description));
    return (*factory)->createInstance();
}

Result<ControlPtr> createObject(const QString &progIdOrClsid) {
    return createObject(TRY(findClass(progIdOrClsid)));
}

} // namespace automation
