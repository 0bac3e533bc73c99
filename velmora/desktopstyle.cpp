#include "desktopstyle.h"

#include <QApplication>
#include <QGroupBox>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <qdrawutil.h>

namespace velmora {

namespace {

// An icon of a style, asked of it when it is first drawn or measured.
class DeferredIcon : public QIconEngine {
  public:
    DeferredIcon(QStyle *style, QStyle::StandardPixmap which, const QWidget *widget)
        : style_(style), which_(which), widget_(widget) {}

    QIconEngine *clone() const override { return new DeferredIcon(*this); }
    QString key() const override { return QStringLiteral("velmora.deferred"); }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }

  private:
    const QIcon &icon() {
        if (!asked_ && style_)
            icon_ = style_->standardIcon(which_, nullptr, widget_);
        asked_ = true;
        return icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QPointer<const QWidget> widget_;
    bool asked_ = false;
    QIcon icon_;
};

// Fusion's margin above a group box's frame besides its title's height.
constexpr int FusionGroupBoxTopMargin = 3;

} // namespace

DesktopStyle::DesktopStyle(QStyle *base)
    : QProxyStyle(base),
      fusion_(baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0) {}

QIcon DesktopStyle::standardIcon(StandardPixmap icon, const QStyleOption *option,
                                 const QWidget *widget) const {
    if (!option &&
        (icon == SP_ToolBarHorizontalExtensionButton || icon == SP_ToolBarVerticalExtensionButton))
        return QIcon(new DeferredIcon(baseStyle(), icon, widget));
    return QProxyStyle::standardIcon(icon, option, widget);
}

void DesktopStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                 QPainter *painter, const QWidget *widget) const {
    if (element != PE_FrameGroupBox || !fusion_) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    if (groupBoxFrame_.isNull()) {
        QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/"
                                           "fusion_groupbox.png"),
                            "png");
        reader.setAutoDetectImageFormat(false);
        groupBoxFrame_ = QPixmap::fromImage(reader.read());
    }
    // As Fusion draws it: below the title, or nearly at the top without one.
    int top = FusionGroupBoxTopMargin;
    const auto *box = qobject_cast<const QGroupBox *>(widget);
    if (!box || box->isCheckable() || !box->title().isEmpty())
        top += qMax(baseStyle()->pixelMetric(PM_ExclusiveIndicatorHeight),
                    option->fontMetrics.height());
    qDrawBorderPixmap(
        painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6), groupBoxFrame_);
}

void useDesktopStyle() {
    QApplication::setStyle(new DesktopStyle(QApplication::style()));
}

} // namespace velmora
