// The program's window icons, drawn at start-up.
#pragma once

#include <QIcon>

namespace velmora {

// A loudspeaker with sound waves, 16, 32 and 48 pixels: the main window's icon
// and, through it, the notification-area icon.
QIcon speakerIcon();

} // namespace velmora
