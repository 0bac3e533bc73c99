// The class registration of a control library that serves one control,
// described by the type library the library carries.
#pragma once

#include <QString>

#include "automation/registry.h"
#include "automation/typeinfo.h"

namespace controlkit {

// The registration of the type library's class under progId: a control,
// apartment threaded, with the toolbox bitmap 30000 and the misc status of a
// control that is invisible at run time (set client site first, invisible at
// run time, activate when visible, inside-out, can't link inside, recompose on
// resize: 0x20591).
automation::ClassRegistration registration(const automation::TypeLibrary &library,
                                           const QString &progId);

} // namespace controlkit
