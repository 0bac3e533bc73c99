// What a control library implements, and how a host creates its controls.
//
// A control library exports four C functions:
//   int32_t DllRegisterServer(void);
//   int32_t DllUnregisterServer(void);
//   int32_t DllGetClassObject(const QUuid* clsid, automation::IClassFactory** out);
//   int32_t DllCanUnloadNow(void);
// VELMORA_CONTROL_SERVER(...) below defines all four from a list of classes.
#pragma once

#include <functional>
#include <vector>

#include "automation/control.h"
#include "automation/registry.h"

namespace automation {

// Result codes of the exports.
namespace hr {
constexpr std::int32_t Ok = 0;
constexpr std::int32_t False = 1;
constexpr std::int32_t ClassNotAvailable = static_cast<std::int32_t>(0x80040111);
constexpr std::int32_t SelfRegClass = static_cast<std::int32_t>(0x80040201);
constexpr std::int32_t Fail = static_cast<std::int32_t>(0x80004005);
} // namespace hr

class IClassFactory {
  public:
    virtual ~IClassFactory();
    virtual Result<ControlPtr> createInstance() = 0;
};

// One class a library serves.
struct ServedClass {
    ClassRegistration registration; // library path is filled in at registration
    std::function<ControlPtr()> create;
};

// Implementation of the exports for a library serving `classes`; `anchor` is
// any address inside the library (used to find the library's own file). The
// exports answer a result code; when registering or unregistering fails, the
// reason is left in this thread's error information, where the host's
// LoadedLibrary::registerServer / unregisterServer pick it up.
std::int32_t serverRegister(const std::vector<ServedClass> &classes, const void *anchor);
std::int32_t serverUnregister(const std::vector<ServedClass> &classes);
std::int32_t serverGetClassObject(const std::vector<ServedClass> &classes, const QUuid *clsid,
                                  IClassFactory **out);
std::int32_t serverCanUnloadNow();

// A control library loaded into this process (loaded once, never unloaded),
// and its exports called the host's way: a failure carries the library's own
// reason.
class LoadedLibrary {
  public:
    QString path;

    Result<> registerServer() const;
    Result<> unregisterServer() const;
    Result<IClassFactory *> classFactory(const QUuid &clsid) const;
    bool canUnloadNow() const;

  private:
    friend Result<LoadedLibrary> loadLibrary(const QString &path);
    Result<> selfRegistration(std::int32_t (*entry)(), const char *name) const;
    std::int32_t (*registerServer_)() = nullptr;
    std::int32_t (*unregisterServer_)() = nullptr;
    std::int32_t (*getClassObject_)(const QUuid *, IClassFactory **) = nullptr;
    std::int32_t (*canUnloadNow_)() = nullptr;
};
// Loads a library file and finds its exports; used by createObject and regsvr.
Result<LoadedLibrary> loadLibrary(const QString &path);

// Host side: the registration of a ProgID ("MSCommLib.MSComm") or class id
// ("{...}"), and an instance of a registered class (registry -> library
// loaded once -> factory). createObject(name) is both steps; a host that
// needs the registration too (its misc status) takes them one by one.
Result<ClassRegistration> findClass(const QString &progIdOrClsid);
Result<ControlPtr> createObject(const ClassRegistration &registration);
Result<ControlPtr> createObject(const QString &progIdOrClsid);

} // namespace automation

#define VELMORA_CONTROL_SERVER(classesFn)                                                          \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {           \
        return ::automation::serverRegister(classesFn(),                                           \
                                            reinterpret_cast<const void *>(&classesFn));           \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllUnregisterServer() {         \
        return ::automation::serverUnregister(classesFn());                                        \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllGetClassObject(              \
        const QUuid *clsid, ::automation::IClassFactory **out) {                                   \
        return ::automation::serverGetClassObject(classesFn(), clsid, out);                        \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllCanUnloadNow() {             \
        return ::automation::serverCanUnloadNow();                                                 \
    }
