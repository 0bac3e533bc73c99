// The design-time face of the notification-area controls: a raised tile of
// 465 x 465 twips (Shape1 with the highlight lines Line1 and Line2) carrying
// a 24 x 24 picture (Image1). A host shows it only in a designer; at run time
// the control's window stays hidden, and the picture is never drawn.
#pragma once

class QPixmap;
class QWidget;

namespace controlkit {

// The tile's size in twips, which is also the control's only size.
constexpr int FaceTwips = 465;

// Draws the face's picture.
using PictureFunction = QPixmap (*)();

// Builds the face's children on the control's window and sizes the window to
// the tile. `picture` is called once, when Image1 is first painted (the face
// shown or grabbed), and Image1 keeps what it drew.
void buildFace(QWidget *window, PictureFunction picture);

} // namespace controlkit
