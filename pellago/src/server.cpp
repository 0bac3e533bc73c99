// The library's control server: registers and serves the class Pellagon.
#include "automation/server.h"
#include "pellagon.h"

namespace {

std::vector<automation::ServedClass> pellagoClasses()
{
    const automation::TypeLibrary& lib = pellago::Pellagon::library();
    automation::ClassRegistration reg;
    reg.clsid = lib.coclass;
    reg.progId = pellago::Pellagon::ProgId;
    reg.name = lib.coclassName;
    reg.threadingModel = QStringLiteral("Apartment");
    // Set client site first, invisible at run time, activate when visible,
    // inside-out, can't link inside, recompose on resize.
    reg.miscStatus = 0x20591;
    reg.toolboxBitmap = QStringLiteral("30000");
    reg.typeLib = lib.libid;
    reg.typeLibVersion = QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion);
    reg.control = true;
    return {{reg, [] { return std::make_shared<pellago::Pellagon>(); }}};
}

} // namespace

VELMORA_CONTROL_SERVER(pellagoClasses)
