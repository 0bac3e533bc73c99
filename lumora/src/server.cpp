// The library's control server: registers and serves the class Lumorel.
#include "automation/server.h"
#include "controlkit/registration.h"
#include "lumorel.h"

namespace {

std::vector<automation::ServedClass> lumoraClasses() {
    return {{controlkit::registration(lumora::Lumorel::library(), lumora::Lumorel::ProgId), [] {
                 return std::make_shared<lumora::Lumorel>();
             }}};
}

} // namespace

VELMORA_CONTROL_SERVER(lumoraClasses)
