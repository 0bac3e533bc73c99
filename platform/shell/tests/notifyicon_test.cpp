// Icon records: the icons shown with their Windows-1251 tips, the trace, activations posted back.
#include "shell/notifyicon.h"
#include "shell/records.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
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
    return p.fill(colour), windowing::iconHandle(QIcon(p));
}

TEST(NotifyIcon, AddsModifiesAndDeletesAsTheShellDoesAndTracesEachRecord) {
    const windowing::IconHandle red = iconOf(Qt::red), blue = iconOf(Qt::blue);
    // 70 characters, 71 UTF-16 units, 70 bytes: cut to 63 bytes; U+001A is in the code page, "é"
    // and "😀" are not.
    const QString longTip = QStringLiteral("Ёё№é\x1a😀") + QString(64, u'x');
    const struct {
        Operation op;
        QByteArray record;
        bool ok;
    } steps[] = {
        {Operation::Delete, iconRecord(10, 1, 7, red, "a"), false},
        {Operation::Modify, iconRecord(10, 1, 7, red, "a"), false},
        {Operation::Add, iconRecord(10, 1, 7, red, QStringLiteral("Усилитель")), true},
        {Operation::Add, iconRecord(10, 1, 7, blue, "b"), false},
        {Operation::Add, iconRecord(10, 2, 7, red, "two"), true},
        {Operation::Add, iconRecord(11, 1, 7, red, longTip), true},
        {Operation::Modify, iconRecord(10, 1, rec::IconFlag, blue, "not taken"), true},
        {Operation::Delete, iconRecord(10, 2, 0, 0, ""), true},
        {Operation::Add, iconRecord(12, 1, 7, red, "").left(87), false},
        {Operation::Add, iconRecord(12, 1, 7, red, "").replace(0, 1, "\x57"), false},
        {Operation(3), iconRecord(12, 1, 7, red, ""), false},
    };
    QTemporaryDir dir;
    qputenv("VELMORA_SHELL_TRACE", dir.filePath("trace").toLocal8Bit());
    for (const auto &s : steps)
        EXPECT_EQ(notifyIcon(s.op, s.record), s.ok) << &s - steps;
    qunsetenv("VELMORA_SHELL_TRACE");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto shown = [](windowing::WindowHandle w) {
        return std::pair(trayIcon(w, 1)->toolTip(), windowing::iconHandle(trayIcon(w, 1)->icon()));
    };
    EXPECT_EQ(std::tuple(shown(10),
                         shown(11),
                         trayIcon(10, 2),
                         trayIcon(12, 1),
                         qApp->findChildren<QSystemTrayIcon *>().size()),
              std::tuple(std::pair(QStringLiteral("Усилитель"), blue),
                         std::pair(QStringLiteral("Ёё№?\x1a?") + QString(57, u'x'), red),
                         nullptr,
                         nullptr,
                         2));

    QFile trace(dir.filePath("trace"));
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = trace.readAll().split('\n');
    QByteArray redBytes(4, '\0');
    writeU32(redBytes, 0, red);
    EXPECT_EQ(lines.size(), std::size(steps) + 1);
    EXPECT_EQ(lines.value(2),
              "add 58 00 00 00 0a 00 00 00 01 00 00 00 07 00 00 00 00 02 00 00 " +
                  redBytes.toHex(' ') + " d3 f1 e8 eb e8 f2 e5 eb fc 00" +
                  QByteArray(" 20").repeated(54));
    EXPECT_EQ(lines.value(0).left(7) + lines.value(1).left(7) +
                  QByteArray::number(lines.value(8).size()) + " " + lines.value(10).left(5),
              "delete modify 264 3 58 ");
}

TEST(NotifyIcon, ActivationsArePostedToTheOwnerAsMouseMessages) {
    windowing::MessageWindow owner, silent;
    std::vector<int> got; // (QList's == hands memcmp a null pointer for two empty lists)
    owner.onMouseMessage = silent.onMouseMessage = [&](int, int, double x, double) {
        got.push_back(int(x) / windowing::TwipsPerPixel);
    };
    ASSERT_TRUE(
        notifyIcon(Operation::Add, iconRecord(owner.handle(), 5, 7, iconOf(Qt::green), "tip")));
    ASSERT_TRUE(notifyIcon(Operation::Add,
                           iconRecord(silent.handle(), 5, 6, iconOf(Qt::green), "no message")));
    const struct {
        QSystemTrayIcon *icon;
        QSystemTrayIcon::ActivationReason reason;
        std::vector<int> posted;
    } cases[] = {
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::Trigger, {513, 514}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::DoubleClick, {515, 514}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::MiddleClick, {519, 520}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::Context, {516, 517}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::Unknown, {}},
        {trayIcon(silent.handle(), 5), QSystemTrayIcon::Trigger, {}},
    };
    for (const auto &c : cases) {
        got.clear();
        emit c.icon->activated(c.reason);
        const bool fromInsideTheSignal =
            !got.empty(); // posted, not delivered from inside the signal
        QCoreApplication::processEvents();
        EXPECT_EQ(std::pair(fromInsideTheSignal, got), std::pair(false, c.posted)) << c.reason;
    }
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
