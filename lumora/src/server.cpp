// The library's control server: registers and serves the class Lumorel.
#include "automation/server.h"
#include "lumorel.h"

namespace {

std::vector<automation::ServedClass> lumoraClasses()
{
    const automation::TypeLibrary& lib = lumora::Lumorel::library();
    automation::ClassRegistration reg;
    reg.clsid = lib.coclass;
    reg.progId = lumora::Lumorel::ProgId;
    reg.name = lib.coclassName;
    reg.threadingModel = QStringLiteral("Apartment");
    // Set client site first, invisible at run time, activate when visible,
    // inside-out, can't link inside, recompose on resize.
    reg.miscStatus = 0x20591;
    reg.toolboxBitmap = QStringLiteral("30000");
    reg.typeLib = lib.libid;
    reg.typeLibVersion = QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion);
    reg.control = true;
    return {{reg, [] { return std::make_shared<lumora::Lumorel>(); }}};
}

} // namespace

VELMORA_CONTROL_SERVER(lumoraClasses)
