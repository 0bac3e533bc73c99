#include "formdesign.h"

#include <QImageReader>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "windowing/handles.h"

namespace velmora {

namespace {

QRect pixels(const QRect &twips) {
    using windowing::twipsToPixels;
    return QRect(twipsToPixels(twips.x()),
                 twipsToPixels(twips.y()),
                 twipsToPixels(twips.width()),
                 twipsToPixels(twips.height()));
}

void applyToControl(QWidget *w) {
    if (const QVariant twips = w->property("twips"); twips.isValid())
        w->setGeometry(pixels(twips.toRect()));
    if (const QVariant points = w->property("points"); points.isValid()) {
        QFont font = w->font();
        font.setPixelSize(pointsToPixels(points.toDouble()));
        w->setFont(font);
    }
    if (const QVariant colour = w->property("colour"); colour.isValid()) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::WindowText, colour.value<QColor>());
        w->setPalette(palette);
    }
}

} // namespace

void applyDesign(QWidget *form) {
    applyToControl(form);
    for (QWidget *w : form->findChildren<QWidget *>())
        applyToControl(w);
    if (const QString icon = form->property("icon").toString(); !icon.isEmpty())
        form->setWindowIcon(programIcon(icon));

    // The window's geometry (without its frame) is the client area, and for a
    // main window the menu bar above it.
    QRect window = form->geometry();
    if (auto *main = qobject_cast<QMainWindow *>(form)) {
        main->centralWidget()->setFixedSize(window.size());
        window.setTop(window.top() - main->menuBar()->sizeHint().height());
    }
    form->setFixedSize(window.size());
    // The window system places the client area there, not the frame; on
    // Wayland the compositor places windows wherever it likes.
    form->setGeometry(window);
}

QIcon programIcon(const QString &name) {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        // Read as PNG outright: a reader left to guess would ask every image
        // format plugin installed whether it knows the file.
        QImageReader reader(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

void WrappingCheckBox::paintEvent(QPaintEvent *) {
    // The indicator as the style draws it, then the text wrapped beside it.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString text = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    const QRect room = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    painter.drawItemText(room,
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                         option.palette,
                         isEnabled(),
                         text,
                         QPalette::WindowText);
}

bool WrappingCheckBox::hitButton(const QPoint &pos) const {
    return rect().contains(pos);
}

} // namespace velmora
