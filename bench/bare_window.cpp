// The baseline of the desktop benchmark: a bare Qt Widgets window of the
// panel's size, shown at once, doing nothing else.
//
// With --text it also shows a few lines in the faces the panel's forms use
// (what the panel's text alone costs, fonts and shaping, with no control,
// timer or menu): a reference for reading the figures, not the baseline.
// With --poll it wakes every 150 ms, the panel's poll interval, and does
// nothing (what waking alone costs on the machine): the idle figure's
// reference.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstring>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(577, 340);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        auto *lines = new QVBoxLayout(&window);
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
            auto *label = new QLabel(QString::fromUtf8(f.text), &window);
            QFont font(QString::fromLatin1(f.family));
            font.setBold(f.bold);
            label->setFont(font);
            lines->addWidget(label);
        }
    }
    QTimer poll;
    if (argc > 1 && std::strcmp(argv[1], "--poll") == 0) {
        poll.setTimerType(Qt::PreciseTimer);
        poll.start(150);
    }
    window.show();
    return app.exec();
}
