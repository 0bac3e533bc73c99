// render_icon: draws an SVG drawing as a square PNG picture, at build time:
// the program's window icons and the icon theme's fixed sizes.
//
//   render_icon <drawing.svg> <size> <picture.png>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool sized = false;
    const int size = args.value(2).toInt(&sized);
    QTextStream err(stderr);
    if (args.size() != 4 || !sized || size <= 0) {
        err << "usage: render_icon <drawing.svg> <size> <picture.png>\n";
        return 2;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        err << "render_icon: cannot read the drawing " << args[1] << "\n";
        return 1;
    }
    QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    svg.render(&painter);
    painter.end();
    if (!picture.save(args[3], "PNG")) {
        err << "render_icon: cannot write " << args[3] << "\n";
        return 1;
    }
    return 0;
}
