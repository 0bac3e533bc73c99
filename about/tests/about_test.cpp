// The About box driven from inside its modal loop, its version line read from
// this program's own version block (3.0.0.75), the desktop's URL handler captured.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "about/aboutbox.h"

namespace {

struct Opened : QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE void open(const QUrl &url) { urls << url.toString(); }
    QStringList urls;
};

// Shows the box and runs `inside` in its loop; true when the box was still open after it.
template <class F> bool withBox(F inside) {
    bool open = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        inside(*box,
               [box](const char *name) { return box->findChild<QLabel *>(QLatin1String(name)); });
        open = box->isVisible() && box->close();
    });
    EXPECT_TRUE(about::showAboutBox({QStringLiteral("Lumorel 3.0"),
                                     QStringLiteral(" for Windows 9x/Me/NT/2000/XP")})
                    .ok());
    return open;
}

// How a label looks: H highlighted (dark blue, underlined), N normal (white), ? neither.
QString look(QLabel *l) {
    const QColor c = l->palette().color(QPalette::WindowText);
    return l->font().underline() ? (c == QColor(0, 0, 192) ? "H" : "?")
                                 : (c == Qt::white ? "N" : "?");
}

} // namespace

// Each opening is fresh (labels in place, links normal); the highlight follows the pointer.
TEST(AboutBox, ShowsTheCardAndTheHighlightFollowsThePointer) {
    const struct {
        const char *over;
        const char *looks;
    } steps[] = {// lMail, lUrl
                 {"background", "NN"},
                 {"lMail", "HN"},
                 {"lUrl", "NH"},
                 {"background", "NN"},
                 {"lUrl", "NH"},
                 {"Label5", "NH"},
                 {"lMail", "HN"}};
    for (int opening = 1; opening <= 2; ++opening)
        withBox([&](QDialog &box, auto label) {
            EXPECT_EQ(std::tuple(box.windowTitle(),
                                 box.size(),
                                 box.parentWidget(),
                                 box.isModal(),
                                 box.grab().toImage().pixel(200, 30)),
                      std::tuple(QStringLiteral("Lumorel 3.0"),
                                 QSize(350, 176),
                                 nullptr,
                                 true,
                                 QImage(":/velmora/about/background.jpg").pixel(200, 30)));
            const struct {
                const char *name;
                const char *text;
                QPoint at;
                bool bold;
            } labels[] = {
                {"Label2", "Lumorel 3.0", {6, 93}, true},
                {"Label3", "Version 3.0.75 for Windows 9x/Me/NT/2000/XP", {6, 108}, false},
                {"Label1", "Copyright (c) 2003-2005 Tollerby Lamp Works", {6, 123}, false},
                {"Label4", "E-mail:", {6, 138}, false},
                {"Label5", "Home page:", {6, 153}, false},
                {"lMail", "info@tollerby-lamps.example", {39, 138}, false},
                {"lUrl", "http://www.tollerby-lamps.example", {66, 153}, false}};
            for (const auto &l : labels) {
                QLabel *w = label(l.name);
                ASSERT_NE(w, nullptr) << l.name;
                EXPECT_EQ(w->text(), QString::fromUtf8(l.text)) << l.name << ": its caption";
                EXPECT_EQ(w->geometry(), QRect(l.at, QSize(w->sizeHint().width(), 13)))
                    << l.name << ": its place, one line high";
                EXPECT_EQ(w->font().family(), QStringLiteral("Liberation Sans")) << l.name;
                EXPECT_EQ(w->font().pixelSize(), 11) << l.name;
                EXPECT_EQ(w->font().bold(), l.bold) << l.name;
                EXPECT_EQ(look(w), "N") << l.name << ": normal before the pointer comes";
            }
            for (const auto &s : steps) {
                QLabel *over = label(s.over);
                QTest::mouseMove(over ? static_cast<QWidget *>(over) : &box,
                                 over ? over->rect().center() : QPoint(200, 20));
                EXPECT_EQ(look(label("lMail")) + look(label("lUrl")), QLatin1String(s.looks))
                    << s.over << " at opening " << opening;
            }
        });
}

TEST(AboutBox, LinksOpenOnALeftReleaseAndOnlyTheBackgroundCloses) {
    Opened opened;
    for (const char *scheme : {"mailto", "http"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "open");
    const struct {
        const char *on;
        Qt::MouseButton button;
        QString url;
        bool closes = false;
    } clicks[] = {
        {"lMail", Qt::LeftButton, "mailto:info@tollerby-lamps.example"},
        {"lUrl", Qt::LeftButton, "http://www.tollerby-lamps.example/?page=ax&prog=vesper7"},
        {"lMail", Qt::RightButton},
        {"lUrl", Qt::MiddleButton},
        {"Label1", Qt::LeftButton},
        {"Label2", Qt::LeftButton},
        {"Label3", Qt::LeftButton},
        {"Label4", Qt::LeftButton},
        {"Label5", Qt::LeftButton},
        {"inside the frame", Qt::LeftButton, {}, true},
        {"outside the frame", Qt::LeftButton, {}, true}};
    for (const auto &c : clicks) {
        opened.urls.clear();
        const bool open = withBox([&](QDialog &box, auto label) {
            QLabel *on = label(c.on);
            QTest::mouseClick(on ? static_cast<QWidget *>(on) : &box,
                              c.button,
                              {},
                              on               ? on->rect().center()
                              : c.on[0] == 'i' ? QPoint(200, 20)
                                               : QPoint(0, 0));
            QTest::keyClick(&box, Qt::Key_Escape); // no keyboard handling of its own
        });
        EXPECT_EQ(std::pair(open, opened.urls.join(' ')), std::pair(!c.closes, c.url)) << c.on;
    }
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "about_test.moc"
