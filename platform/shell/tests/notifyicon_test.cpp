// Icon records: the icons shown with their Windows-1251 tips, the trace, activations posted back.
#include "shell/embeddedicon.h"
#include "shell/notifyicon.h"
#include "shell/records.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPixmap>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

using namespace shell;
namespace rec = shell::icon_record;

static QByteArray iconRecord(windowing::WindowHandle window, std::uint32_t id, std::uint32_t flags,
                             windowing::IconHandle icon, const QString &tip) {
    QByteArray r(rec::Size, '\0');
    for (const auto &[offset, value] : {std::pair(rec::CbSize, 88u),
                                        {rec::Window, window},
                                        {rec::Id, id},
                                        {rec::Flags, flags},
                                        {rec::CallbackMessage, 0x200u},
                                        {rec::Icon, icon}})
        writeU32(r, offset, value);
    writeTextField(r, rec::Tip, rec::TipWidth, tip);
    return r;
}

static windowing::IconHandle iconOf(Qt::GlobalColor colour) {
    QPixmap p(16, 16);
    p.fill(colour);
    return windowing::iconHandle(QIcon(p));
}

TEST(NotifyIcon, AddsModifiesAndDeletesAsTheShellDoesAndTracesEachRecord) {
    const windowing::IconHandle red = iconOf(Qt::red), blue = iconOf(Qt::blue);
    // 70 characters, 71 UTF-16 units, 70 bytes: cut to 63 bytes; U+001A is in the code page, "é"
    // and "😀" are not.
    const QString longTip = QStringLiteral("Ёё№é\x1a😀") + QString(64, u'x');
    const struct {
        const char *what;
        Operation op;
        QByteArray record;
        bool ok;
    } steps[] = {
        {"delete an unknown icon", Operation::Delete, iconRecord(10, 1, 7, red, "a"), false},
        {"modify an unknown icon", Operation::Modify, iconRecord(10, 1, 7, red, "a"), false},
        {"add", Operation::Add, iconRecord(10, 1, 7, red, QStringLiteral("Усилитель")), true},
        {"add it again", Operation::Add, iconRecord(10, 1, 7, blue, "b"), false},
        {"add icon 2", Operation::Add, iconRecord(10, 2, 7, red, "two"), true},
        {"add a long tip", Operation::Add, iconRecord(11, 1, 7, red, longTip), true},
        {"modify the icon only",
         Operation::Modify,
         iconRecord(10, 1, rec::IconFlag, blue, "-"),
         true},
        {"delete icon 2", Operation::Delete, iconRecord(10, 2, 0, 0, ""), true},
        {"a short record", Operation::Add, iconRecord(12, 1, 7, red, "").left(87), false},
        {"a wrong size",
         Operation::Add,
         iconRecord(12, 1, 7, red, "").replace(0, 1, "\x57"),
         false},
        {"no such operation", Operation(3), iconRecord(12, 1, 7, red, ""), false},
    };
    QTemporaryDir dir;
    qputenv("VELMORA_SHELL_TRACE", dir.filePath("trace").toLocal8Bit());
    for (const auto &s : steps)
        EXPECT_EQ(notifyIcon(s.op, s.record), s.ok) << s.what;
    qunsetenv("VELMORA_SHELL_TRACE");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(trayIcon(10, 1)->toolTip(), QStringLiteral("Усилитель")) << "the tip kept";
    EXPECT_EQ(windowing::iconHandle(trayIcon(10, 1)->icon()), blue) << "the icon modified";
    const QString cut = QStringLiteral("Ёё№?\x1a?") + QString(57, u'x');
    EXPECT_EQ(trayIcon(11, 1)->toolTip(), cut) << "the long tip cut to 63 bytes";
    EXPECT_EQ(trayIcon(10, 2), nullptr) << "icon 2 deleted";
    EXPECT_EQ(trayIcon(12, 1), nullptr) << "bad records add nothing";
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto icons = std::count_if(windows.begin(), windows.end(), [](QWidget *w) {
        return qobject_cast<shell::EmbeddedIcon *>(w) != nullptr;
    });
    EXPECT_EQ(icons, 2) << "two icons made";

    QFile trace(dir.filePath("trace"));
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = trace.readAll().split('\n');
    QByteArray redBytes(4, '\0');
    writeU32(redBytes, 0, red);
    EXPECT_EQ(lines.size(), std::size(steps) + 1) << "each record traced, refused ones too";
    EXPECT_EQ(lines.value(2),
              "add 58 00 00 00 0a 00 00 00 01 00 00 00 07 00 00 00 00 02 00 00 " +
                  redBytes.toHex(' ') + " d3 f1 e8 eb e8 f2 e5 eb fc 00" +
                  QByteArray(" 20").repeated(54));
    EXPECT_TRUE(lines.value(0).startsWith("delete ")) << "the operation by name";
    EXPECT_TRUE(lines.value(1).startsWith("modify ")) << "the operation by name";
    EXPECT_EQ(lines.value(8).size(), 264) << "a short record traced as it came";
    EXPECT_TRUE(lines.value(10).startsWith("3 58 ")) << "an unknown operation by number";
}

namespace {

struct Activation {
    const char *name;
    std::uint32_t flags;
    Qt::MouseButton button;
    QEvent::Type event; // a press, or the second press of a double click
    std::vector<int> posted;
};

class NotifyIconActivation : public ::testing::TestWithParam<Activation> {};

} // namespace

// A click on the XEmbed icon: posted, not delivered from inside the event.
TEST_P(NotifyIconActivation, IsPostedToTheOwnerAsMouseMessages) {
    windowing::MessageWindow owner;
    std::vector<int> got; // (QList's == hands memcmp a null pointer for two empty lists)
    owner.onMouseMessage = [&](int, int, double x, double) {
        got.push_back(int(x) / windowing::TwipsPerPixel);
    };
    const auto record = iconRecord(owner.handle(), 5, GetParam().flags, iconOf(Qt::green), "tip");
    ASSERT_TRUE(notifyIcon(Operation::Add, record));
    const Activation &a = GetParam();
    QMouseEvent click(a.event, QPointF(4, 4), QPointF(4, 4), a.button, a.button, Qt::NoModifier);
    QApplication::sendEvent(trayIcon(owner.handle(), 5), &click);
    EXPECT_TRUE(got.empty()) << GetParam().name << ": nothing from inside the event";
    QCoreApplication::processEvents();
    EXPECT_EQ(got, GetParam().posted) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    NotifyIcon, NotifyIconActivation,
    ::testing::Values(
        Activation{"LeftPress", 7, Qt::LeftButton, QEvent::MouseButtonPress, {513, 514}},
        Activation{"LeftDoubleClick", 7, Qt::LeftButton, QEvent::MouseButtonDblClick, {515, 514}},
        Activation{"MiddlePress", 7, Qt::MiddleButton, QEvent::MouseButtonPress, {519, 520}},
        Activation{"RightPress", 7, Qt::RightButton, QEvent::MouseButtonPress, {516, 517}},
        Activation{"BackButton", 7, Qt::BackButton, QEvent::MouseButtonPress, {}},
        Activation{"NoMessageFlag", 6, Qt::LeftButton, QEvent::MouseButtonPress, {}}),
    [](const auto &info) { return std::string(info.param.name); });

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
