#include "controlkit/registration.h"

namespace controlkit {

automation::ClassRegistration registration(const automation::TypeLibrary &library,
                                           const QString &progId) {
    automation::ClassRegistration reg;
    reg.clsid = library.coclass;
    reg.progId = progId;
    reg.name = library.coclassName;
    reg.threadingModel = QStringLiteral("Apartment");
    reg.miscStatus = 0x20591;
    reg.toolboxBitmap = QStringLiteral("30000");
    reg.typeLib = library.libid;
    reg.typeLibVersion =
        QStringLiteral("%1.%2").arg(library.majorVersion).arg(library.minorVersion);
    reg.control = true;
    return reg;
}

} // namespace controlkit
