// The baseline of the desktop benchmark: a bare Qt Widgets window of the
// panel's size, shown at once, doing nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(577, 340);
    window.show();
    return app.exec();
}
