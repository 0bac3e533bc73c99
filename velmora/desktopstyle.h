// The style the desktop picked, without what makes Qt load every image
// format plugin at start-up.
//
// Qt reads a picture whose format it is not told by asking every image
// format plugin whether it can (SVG, GIF, ICO, JPEG: each one loaded, with Qt
// SVG and libjpeg), even for a PNG file. Two of its widgets do that while the
// panel starts: a menu bar asks the style for its extension button's icon
// when it is made, and Fusion reads its group-box frame when a group box is
// first drawn. This style leaves everything to the style it wraps except
// those two: the extension button's icon is asked of the wrapped style when
// it is first drawn (the button shows only when the entries overflow the
// bar), and Fusion's group-box frame is drawn here from the same picture read
// as PNG. Other styles draw their group boxes themselves.
#pragma once

#include <QPixmap>
#include <QProxyStyle>

namespace velmora {

class DesktopStyle : public QProxyStyle {
    Q_OBJECT
  public:
    // Takes `base` over (QApplication::style(): what the desktop, -style or
    // QT_STYLE_OVERRIDE picked).
    explicit DesktopStyle(QStyle *base);

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

  private:
    bool fusion_;
    mutable QPixmap groupBoxFrame_;
};

// The application's style wrapped in a DesktopStyle, before any widget is made.
void useDesktopStyle();

} // namespace velmora
