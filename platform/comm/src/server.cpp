// The library's control server: registers and serves the class MSComm.
#include "automation/server.h"
#include "mscomm.h"

namespace {

std::vector<automation::ServedClass> commClasses() {
    automation::ClassRegistration reg;
    reg.clsid = comm::MSComm::Clsid;
    reg.progId = comm::MSComm::ProgId;
    reg.name = QStringLiteral("MSComm");
    reg.miscStatus = 0x20400; // invisible at run time, client site first
    reg.control = true;
    return {{reg, [] {
                 return std::make_shared<comm::MSComm>();
             }}};
}

} // namespace

VELMORA_CONTROL_SERVER(commClasses)
