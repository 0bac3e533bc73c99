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
}

class IClassFactory {
public:
    virtual ~IClassFactory() = default;
    virtual ControlPtr createInstance(Error* error) = 0;
};

// One class a library serves.
struct ServedClass {
    ClassRegistration registration;      // library path is filled in at registration
    std::function<ControlPtr()> create;
};

// Implementation of the exports for a library serving `classes`; `anchor` is
// any address inside the library (used to find the library's own file).
std::int32_t serverRegister(const std::vector<ServedClass>& classes, const void* anchor);
std::int32_t serverUnregister(const std::vector<ServedClass>& classes);
std::int32_t serverGetClassObject(const std::vector<ServedClass>& classes, const QUuid* clsid, IClassFactory** out);
std::int32_t serverCanUnloadNow();
// The last error of a failed DllRegisterServer/DllUnregisterServer in this process.
Error lastServerError();

// Host side: create a control by ProgID ("MSCommLib.MSComm") or class id
// ("{...}"): registry -> library loaded once (never unloaded) -> factory.
ControlPtr createObject(const QString& progIdOrClsid, Error* error = nullptr);

// Loads a library file and returns its exports; used by createObject and regsvr.
struct LoadedLibrary {
    QString path;
    std::int32_t (*registerServer)() = nullptr;
    std::int32_t (*unregisterServer)() = nullptr;
    std::int32_t (*getClassObject)(const QUuid*, IClassFactory**) = nullptr;
    std::int32_t (*canUnloadNow)() = nullptr;
};
std::optional<LoadedLibrary> loadLibrary(const QString& path, Error* error = nullptr);

} // namespace automation

#define VELMORA_CONTROL_SERVER(classesFn)                                                           \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer()              \
    { return ::automation::serverRegister(classesFn(), reinterpret_cast<const void*>(&classesFn)); } \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllUnregisterServer()            \
    { return ::automation::serverUnregister(classesFn()); }                                         \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllGetClassObject(                \
        const QUuid* clsid, ::automation::IClassFactory** out)                                      \
    { return ::automation::serverGetClassObject(classesFn(), clsid, out); }                         \
    extern "C" __attribute__((visibility("default"))) std::int32_t DllCanUnloadNow()                \
    { return ::automation::serverCanUnloadNow(); }
