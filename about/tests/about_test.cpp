// The About box driven from inside its modal loop, its version line read from
// this program's own version block (3.0.0.75), the desktop's URL handler captured.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include "about/aboutbox.h"

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class Opened : public QObject {
    Q_OBJECT
public:
    QStringList urls;
public slots:
    void open(const QUrl& url) { urls << url.toString(); }
};

// Shows the box, runs `inside` in its loop; true when the box was still open after it.
bool withBox(const std::function<void(QDialog&)>& inside)
{
    bool open = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box)
            return ADD_FAILURE() << "no modal window";
        inside(*box);
        if ((open = box->isVisible()))
            box->close();
    });
    timer.start(0);
    EXPECT_TRUE(about::showAboutBox({QStringLiteral("Lumorel 3.0"), QStringLiteral(" for Windows 9x/Me/NT/2000/XP")}).ok());
    return open;
}

QLabel* label(QDialog& box, const char* name) { return box.findChild<QLabel*>(QLatin1String(name)); }
bool highlighted(QLabel* l) { return l->font().underline() && l->palette().color(QPalette::WindowText) == QColor(0, 0, 192); }
bool normal(QLabel* l) { return !l->font().underline() && l->palette().color(QPalette::WindowText) == Qt::white; }

} // namespace

TEST(AboutBox, ShowsTheCardWithItsLabelsWhereTheyBelong)
{
    withBox([](QDialog& box) {
        EXPECT_EQ(std::tuple(box.windowTitle(), box.size(), box.parentWidget(), box.windowModality(), bool(box.windowFlags() & Qt::FramelessWindowHint)),
                  std::tuple(QStringLiteral("Lumorel 3.0"), QSize(350, 176), nullptr, Qt::ApplicationModal, true));
        EXPECT_EQ(box.geometry().center(), box.screen()->availableGeometry().center());
        const QImage card = box.grab().toImage(), picture(QStringLiteral(":/velmora/about/background.jpg"));
        EXPECT_EQ(card.pixel(200, 30), picture.pixel(200, 30));
        EXPECT_EQ(picture.size(), QSize(350, 175));
        const struct { const char* name; QString text; QPoint at; bool bold; } labels[] = {
            {"Label2", "Lumorel 3.0", {6, 93}, true}, {"Label3", "Version 3.0.75 for Windows 9x/Me/NT/2000/XP", {6, 108}, false},
            {"Label1", {}, {6, 123}, false}, {"Label4", "E-mail:", {6, 138}, false}, {"Label5", "Home page:", {6, 153}, false},
            {"lMail", {}, {39, 138}, false}, {"lUrl", {}, {66, 153}, false}};
        for (const auto& l : labels) {
            QLabel* w = label(box, l.name);
            ASSERT_TRUE(w) << l.name;
            EXPECT_EQ(std::tuple(l.text.isEmpty() ? w->text() : l.text, w->geometry(), w->font().family(), w->font().pixelSize(), w->font().bold(), normal(w)),
                      std::tuple(w->text(), QRect(l.at, QSize(w->sizeHint().width(), 13)), QStringLiteral("Liberation Sans"), 11, l.bold, true)) << l.name;
            EXPECT_EQ(w->cursor().shape(), QByteArray(l.name).startsWith('l') ? Qt::PointingHandCursor : Qt::ArrowCursor) << l.name;
        }
    });
}

TEST(AboutBox, LinksOpenOnALeftReleaseAndOnlyTheBackgroundCloses)
{
    Opened opened;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &opened, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &opened, "open");
    const struct { const char* on; Qt::MouseButton button; QPoint at; QString url; bool closes; } clicks[] = {
        {"lMail", Qt::LeftButton, {}, "mailto:info@tollerby-lamps.example", false},
        {"lUrl", Qt::LeftButton, {}, "http://www.tollerby-lamps.example/?page=ax&prog=vesper7", false},
        {"lMail", Qt::RightButton, {}, {}, false}, {"lUrl", Qt::MiddleButton, {}, {}, false},
        {"Label1", Qt::LeftButton, {}, {}, false}, {"Label2", Qt::LeftButton, {}, {}, false}, {"Label3", Qt::LeftButton, {}, {}, false},
        {"Label4", Qt::LeftButton, {}, {}, false}, {"Label5", Qt::LeftButton, {}, {}, false},
        {nullptr, Qt::LeftButton, {200, 20}, {}, true}, {nullptr, Qt::LeftButton, {0, 0}, {}, true}};
    for (const auto& c : clicks) {
        opened.urls.clear();
        const bool open = withBox([&](QDialog& box) {
            QWidget* on = c.on ? label(box, c.on) : static_cast<QWidget*>(&box);
            QTest::mouseClick(on, c.button, {}, c.on ? on->rect().center() : c.at);
            QTest::keyClick(&box, Qt::Key_Escape);   // no keyboard handling of its own
        });
        EXPECT_EQ(std::pair(open, opened.urls), std::pair(!c.closes, c.url.isEmpty() ? QStringList() : QStringList{c.url})) << (c.on ? c.on : "background");
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

// Each step moves the pointer over a part of the card (or out of it) and
// checks which link is highlighted; the next opening starts with none.
TEST(AboutBox, TheHighlightFollowsThePointerAndDoesNotOutliveTheWindow)
{
    const struct { const char* over; bool mail, url; } steps[] = {
        {"lMail", true, false}, {"lUrl", false, true}, {"background", false, false}, {"lUrl", false, true},
        {"Label5", false, true}, {"lMail", true, false}, {"out", true, false}};
    withBox([&](QDialog& box) {
        for (const auto& s : steps) {
            QWidget* over = QByteArray(s.over) == "background" ? static_cast<QWidget*>(&box) : label(box, s.over);
            QEvent leave(QEvent::Leave);   // out of the window: the system moves nothing over it
            if (!over)
                QApplication::sendEvent(label(box, "lMail"), &leave), QApplication::sendEvent(&box, &leave);
            else
                QTest::mouseMove(over, over == &box ? QPoint(200, 20) : over->rect().center());
            EXPECT_EQ(std::pair(highlighted(label(box, "lMail")), highlighted(label(box, "lUrl"))), std::pair(s.mail, s.url)) << s.over;
        }
        QTest::mouseClick(&box, Qt::LeftButton, {}, {200, 20});
    });
    withBox([](QDialog& box) { EXPECT_TRUE(normal(label(box, "lMail")) && normal(label(box, "lUrl"))); });
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "about_test.moc"
