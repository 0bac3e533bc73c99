// The windows as designed: each .ui form records its controls' places and
// sizes in twips and their font sizes in points, as dynamic properties, and
// applyDesign() turns them into pixels in this one place, so that geometry
// and text scale together.
//
// Dynamic properties read from a form and its controls:
//   twips   (QRect)   a control's place and size in its parent; on the form,
//                     the client area's place on the screen and its size
//   points  (double)  the font size; the family and weight are the control's font
//   colour  (QColor)  the text colour
//   icon    (QString) on the form: the window icon, drawn from icons/<icon>.svg
#pragma once

#include <QCheckBox>
#include <QIcon>

namespace velmora {

// 4/3 pixel to the point (96 dots per inch), as 15 twips to the pixel
// (windowing::twipsToPixels).
constexpr int pointsToPixels(double points) {
    return int(points * 4 / 3 + 0.5);
}

// Applies the form's design: the controls' geometry, fonts and colours, its
// icon, a fixed size, and the client area placed on the screen. A main
// window's client area is its central widget, below the menu bar.
void applyDesign(QWidget *form);

// One of the program's icons (icons/<name>.svg) at 16, 32 and 48 pixels, as
// the build drew it.
QIcon programIcon(const QString &name);

// A check box whose text wraps onto as many lines as its height holds; a
// click anywhere on it, text included, toggles it.
class WrappingCheckBox : public QCheckBox {
    Q_OBJECT
  public:
    using QCheckBox::QCheckBox;

  protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};

} // namespace velmora
