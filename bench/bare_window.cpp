// The baselines of the desktop benchmark: a bare Qt Widgets window of the
// panel's size, shown at once, doing nothing else.
//
// With --text it also shows a few lines in the faces the panel's forms use
// (what the panel's text alone costs, fonts and shaping, with no control,
// timer or menu).
// With --menu it is the plainest code that shows what the panel must show: a
// main window whose menu bar holds the panel's three top entries, the same
// five lines below it, the default style and nothing else. The start and
// memory goals are measured against it.
// With --poll it wakes every 150 ms, the panel's poll interval, and does
// nothing (what waking alone costs on the machine): the idle figure's
// reference.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstring>

namespace {

// Five lines in the faces of the panel's forms.
void addText(QWidget *window) {
    auto *lines = new QVBoxLayout(window);
    const struct {
        const char *family;
        bool bold;
        const char *text;
    } faces[] = {
        {"Liberation Sans", true, "Программа дистанционного управления усилителем"},
        {"Liberation Sans", false, "Коммутатор входов"},
        {"Liberation Serif", true, "Вход № 1"},
        {"DejaVu Sans", true, "Включить усилитель"},
        {"DejaVu Sans", false, "Файл"},
    };
    for (const auto &f : faces) {
        auto *label = new QLabel(QString::fromUtf8(f.text), window);
        QFont font(QString::fromLatin1(f.family));
        font.setBold(f.bold);
        label->setFont(font);
        lines->addWidget(label);
    }
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const char *mode = argc > 1 ? argv[1] : "";
    QMainWindow main;
    QWidget window;
    QWidget *shown = &window;
    if (std::strcmp(mode, "--menu") == 0) {
        // "Файл" opens a menu, the other two act at once, as in the panel.
        main.menuBar()->addMenu(QString::fromUtf8("Файл"));
        main.menuBar()->addAction(QString::fromUtf8("Настройка"));
        main.menuBar()->addAction(QString::fromUtf8("О программе"));
        auto *central = new QWidget(&main);
        addText(central);
        main.setCentralWidget(central);
        shown = &main;
    } else if (std::strcmp(mode, "--text") == 0) {
        addText(&window);
    }
    shown->setWindowTitle(QStringLiteral("bare window"));
    shown->resize(577, 340);
    QTimer poll;
    if (std::strcmp(mode, "--poll") == 0) {
        poll.setTimerType(Qt::PreciseTimer);
        poll.start(150);
    }
    shown->show();
    return app.exec();
}
