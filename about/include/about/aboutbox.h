// The component About box that each control library carries: a borderless
// picture card with the library's product line, its version line (built from
// the library's own version block), the maker's notice and two links.
//
// The code is a static library compiled into each control library, so the
// version block it reads is the one of the library that shows the box.
#pragma once

#include <QString>

#include "automation/result.h"

namespace about {

// What differs between the libraries' copies.
struct Product {
    QString line;         // "Lumorel 3.0", shown in bold
    QString platformText; // " for Windows 9x/Me/NT/2000/XP", appended to the version line
};

// Shows a freshly loaded About box modally, with no owner window, and returns
// when it is closed. Fails when the calling library carries no readable
// version block.
automation::Result<> showAboutBox(const Product &product);

} // namespace about
