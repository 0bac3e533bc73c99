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

// Shows the box and runs `inside` on it from its loop; true when the box was still open after.
bool withBox(const std::function<void(QDialog &)> &inside) {
    bool open = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        inside(*box);
        open = box->isVisible() && box->close();
    });
    EXPECT_TRUE(about::showAboutBox({"Lumorel 3.0", " for Windows 9x/Me/NT/2000/XP"}));
    return open;
}

// The pointer or a click goes to the label of that name, or to the background when there is none.
QWidget &target(QDialog &box, const char *name) {
    QLabel *l = box.findChild<QLabel *>(QLatin1String(name));
    return l ? *l : static_cast<QWidget &>(box);
}

// How a label looks: H highlighted (dark blue, underlined), N normal (white), ? neither.
QString look(QDialog &box, const char *name) {
    const QWidget &l = target(box, name);
    const QColor c = l.palette().color(QPalette::WindowText);
    return l.font().underline() ? (c == QColor(0, 0, 192) ? "H" : "?")
                                : (c == Qt::white ? "N" : "?");
}

struct Label {
    const char *name;
    const char *text;
    QPoint at;
    bool bold;
};

class AboutLabel : public ::testing::TestWithParam<Label> {};

struct Click {
    const char *name;
    const char *on;
    Qt::MouseButton button;
    const char *opens;
    bool closes;
};

class AboutClick : public ::testing::TestWithParam<Click> {};

} // namespace

TEST(AboutBox, IsAParentlessModalCardOnItsPicture) {
    withBox([](QDialog &box) {
        EXPECT_EQ(box.windowTitle(), "Lumorel 3.0") << "the title";
        EXPECT_EQ(box.size(), QSize(350, 176)) << "the card's size";
        EXPECT_EQ(box.parentWidget(), nullptr) << "no owner";
        EXPECT_TRUE(box.isModal()) << "modal";
        const QImage picture(":/velmora/about/background.jpg");
        EXPECT_EQ(box.grab().toImage().pixel(200, 30), picture.pixel(200, 30)) << "the picture";
    });
}

TEST_P(AboutLabel, ShowsItsCaptionInPlaceInNormalLook) {
    const Label &l = GetParam();
    withBox([&](QDialog &box) {
        const QWidget &w = target(box, l.name);
        EXPECT_EQ(w.property("text").toString(), QString::fromUtf8(l.text)) << l.name;
        const QRect place(l.at, QSize(w.sizeHint().width(), 13));
        EXPECT_EQ(w.geometry(), place) << l.name << ": as wide as its text, one line high";
        EXPECT_EQ(w.font().family(), "Liberation Sans") << l.name;
        EXPECT_EQ(w.font().pixelSize(), 11) << l.name;
        EXPECT_EQ(w.font().bold(), l.bold) << l.name;
        EXPECT_EQ(look(box, l.name), "N") << l.name << ": normal before the pointer comes";
    });
}

INSTANTIATE_TEST_SUITE_P(
    AboutBox, AboutLabel,
    ::testing::Values(
        Label{"Label2", "Lumorel 3.0", {6, 93}, true},
        Label{"Label3", "Version 3.0.75 for Windows 9x/Me/NT/2000/XP", {6, 108}, false},
        Label{"Label1", "Copyright (c) 2003-2005 Tollerby Lamp Works", {6, 123}, false},
        Label{"Label4", "E-mail:", {6, 138}, false}, Label{"Label5", "Home page:", {6, 153}, false},
        Label{"lMail", "info@tollerby-lamps.example", {39, 138}, false},
        Label{"lUrl", "http://www.tollerby-lamps.example", {66, 153}, false}),
    [](const auto &info) { return std::string(info.param.name); });

// The highlight follows the pointer: the link under it, none over the background or a label.
TEST(AboutBox, TheHighlightFollowsThePointer) {
    const std::pair<const char *, const char *> steps[] = {
        {"lMail", "HN"}, {"lUrl", "NH"}, {"background", "NN"}, {"lUrl", "NH"}, {"Label5", "NH"}};
    withBox([&](QDialog &box) {
        for (const auto &[over, looks] : steps) {
            QWidget &w = target(box, over);
            QTest::mouseMove(&w, &w == &box ? QPoint(200, 20) : w.rect().center());
            EXPECT_EQ(look(box, "lMail") + look(box, "lUrl"), looks) << "over " << over;
        }
    });
}

TEST_P(AboutClick, OnlyLeftReleasesOpenALinkAndOnlyTheBackgroundCloses) {
    const Click &c = GetParam();
    Opened opened;
    for (const char *scheme : {"mailto", "http"})
        QDesktopServices::setUrlHandler(scheme, &opened, "open");
    const bool open = withBox([&](QDialog &box) {
        QWidget &w = target(box, c.on);
        QTest::mouseClick(&w, c.button, {}, &w == &box ? QPoint(200, 20) : w.rect().center());
        QTest::keyClick(&box, Qt::Key_Escape); // no keyboard handling of its own
    });
    EXPECT_EQ(opened.urls.join(' '), c.opens) << c.name << ": what was opened";
    EXPECT_EQ(open, !c.closes) << c.name << ": whether the box stayed open";
}

INSTANTIATE_TEST_SUITE_P(
    AboutBox, AboutClick,
    ::testing::Values(
        Click{"Mail", "lMail", Qt::LeftButton, "mailto:info@tollerby-lamps.example", false},
        Click{"Home",
              "lUrl",
              Qt::LeftButton,
              "http://www.tollerby-lamps.example/?page=ax&prog=vesper7",
              false},
        Click{"RightOnALink", "lMail", Qt::RightButton, "", false},
        Click{"OnALabel", "Label1", Qt::LeftButton, "", false},
        Click{"Background", "background", Qt::LeftButton, "", true}),
    [](const auto &info) { return std::string(info.param.name); });

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "about_test.moc"
