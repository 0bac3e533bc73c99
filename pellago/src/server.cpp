// The library's control server: registers and serves the class Pellagon.
#include "automation/server.h"
#include "controlkit/registration.h"
#include "pellagon.h"

namespace {

std::vector<automation::ServedClass> pellagoClasses() {
    return {{controlkit::registration(pellago::Pellagon::library(), pellago::Pellagon::ProgId), [] {
                 return std::make_shared<pellago::Pellagon>();
             }}};
}

} // namespace

VELMORA_CONTROL_SERVER(pellagoClasses)
