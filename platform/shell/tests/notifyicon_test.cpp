// Icon records: the table of shown icons, the trace, activations posted back.
#include "shell/notifyicon.h"
#include "shell/records.h"

#include <QCoreApplication>
#include <QFile>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace shell;
namespace rec = shell::icon_record;

namespace {
QByteArray iconRecord(windowing::WindowHandle window, std::uint32_t id, std::uint32_t flags,
                      windowing::IconHandle icon, const QString& tip)
{
    QByteArray r(rec::Size, '\0');
    for (const auto& [offset, value] : {std::pair(rec::CbSize, 88u), {rec::Window, window}, {rec::Id, id},
                                       {rec::Flags, flags}, {rec::CallbackMessage, 0x200u}, {rec::Icon, icon}})
        writeU32(r, offset, value);
    writeTextField(r, rec::Tip, rec::TipWidth, tip);
    return r;
}
} // namespace

TEST(NotifyIcon, AddsModifiesAndDeletesAsTheShellDoes)
{
    QPixmap p(16, 16);
    p.fill(Qt::red);
    const windowing::IconHandle red = windowing::iconHandle(QIcon(p));
    p.fill(Qt::blue);
    const windowing::IconHandle blue = windowing::iconHandle(QIcon(p));
    const QString longTip = QStringLiteral("Ж") + QString(69, u'x');
    const struct { Operation op; QByteArray record; bool ok; } steps[] = {
        {Operation::Delete, iconRecord(10, 1, 7, red, "a"), false},
        {Operation::Modify, iconRecord(10, 1, 7, red, "a"), false},
        {Operation::Add, iconRecord(10, 1, 7, red, QStringLiteral("Усилитель")), true},
        {Operation::Add, iconRecord(10, 1, 7, blue, "again"), false},
        {Operation::Add, iconRecord(10, 2, 7, red, "two"), true},
        {Operation::Add, iconRecord(11, 1, 7, red, longTip), true},
        {Operation::Modify, iconRecord(10, 1, rec::IconFlag, blue, "not taken"), true},
        {Operation::Delete, iconRecord(10, 2, 0, 0, ""), true},
        {Operation::Modify, iconRecord(10, 2, 7, red, "gone"), false},
        {Operation::Add, iconRecord(12, 1, 7, red, "").left(87), false},
        {Operation::Add, iconRecord(12, 1, 7, red, "").replace(0, 1, "\x57"), false},
        {Operation(3), iconRecord(12, 1, 7, red, ""), false},
    };
    QTemporaryDir dir;
    const QString tracePath = dir.filePath("trace");
    qputenv("VELMORA_SHELL_TRACE", tracePath.toLocal8Bit());
    for (const auto& s : steps)
        EXPECT_EQ(notifyIcon(s.op, s.record), s.ok) << &s - steps;
    qunsetenv("VELMORA_SHELL_TRACE");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const auto shown = [](windowing::WindowHandle w, std::uint32_t id) {
        const QSystemTrayIcon* t = trayIcon(w, id);
        return t ? std::pair(t->toolTip(), windowing::iconHandle(t->icon())) : std::pair(QString("none"), 0u);
    };
    EXPECT_EQ(shown(10, 1), std::pair(QStringLiteral("Усилитель"), blue));
    EXPECT_EQ(shown(11, 1), std::pair(longTip.left(63), red));
    EXPECT_EQ(shown(10, 2).first, "none");
    EXPECT_EQ(shown(12, 1).first, "none");
    EXPECT_EQ(QCoreApplication::instance()->findChildren<QSystemTrayIcon*>().size(), 2);

    QFile trace(tracePath);
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = trace.readAll().split('\n');
    ASSERT_EQ(lines.size(), std::size(steps) + 1);
    QByteArray redBytes(4, '\0');
    writeU32(redBytes, 0, red);
    EXPECT_EQ(lines[2], "add 58 00 00 00 0a 00 00 00 01 00 00 00 07 00 00 00 00 02 00 00 " + redBytes.toHex(' ')
                        + " d3 f1 e8 eb e8 f2 e5 eb fc 00" + QByteArray(" 20").repeated(54));
    EXPECT_EQ(lines[0].left(7) + lines[1].left(7) + lines[9].left(7) + lines[11].left(5), "delete modify add 58 3 58 ");
    EXPECT_EQ(std::pair(lines[9].size(), lines[10].left(6)), std::pair(qsizetype(4 + 87 * 3 - 1), QByteArray("add 57")));
}

TEST(NotifyIcon, ActivationsArePostedToTheOwnerAsMouseMessages)
{
    windowing::MessageWindow owner, silent;
    QList<int> got;
    owner.onMouseMessage = silent.onMouseMessage = [&](int, int, double x, double) { got << int(x) / windowing::TwipsPerPixel; };
    QPixmap p(16, 16);
    p.fill(Qt::green);
    ASSERT_TRUE(notifyIcon(Operation::Add, iconRecord(owner.handle(), 5, 7, windowing::iconHandle(QIcon(p)), "tip")));
    ASSERT_TRUE(notifyIcon(Operation::Add, iconRecord(silent.handle(), 5, 6, windowing::iconHandle(QIcon(p)), "no message")));
    const struct { QSystemTrayIcon* icon; QSystemTrayIcon::ActivationReason reason; QList<int> posted; } cases[] = {
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::Trigger, {513, 514}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::DoubleClick, {515, 514}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::MiddleClick, {519, 520}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::Context, {516, 517}},
        {trayIcon(owner.handle(), 5), QSystemTrayIcon::Unknown, {}},
        {trayIcon(silent.handle(), 5), QSystemTrayIcon::Trigger, {}},
    };
    for (const auto& c : cases) {
        got.clear();
        ASSERT_NE(c.icon, nullptr);
        emit c.icon->activated(c.reason);
        EXPECT_TRUE(got.isEmpty());   // posted, not delivered from inside the signal
        QCoreApplication::processEvents();
        EXPECT_EQ(got, c.posted) << c.reason;
    }
    for (const auto& w : {owner.handle(), silent.handle()})
        EXPECT_TRUE(notifyIcon(Operation::Delete, iconRecord(w, 5, 0, 0, "")));
}
