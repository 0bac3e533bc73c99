// Icons as StatusNotifierItems on a private session bus, with a watcher of the test's own.
#include "shell/embeddedicon.h"
#include "shell/notifyicon.h"
#include "shell/records.h"
#include "shell/testing.h"
#include "shell/trayhosts.h"
#include "windowing/timers.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QPixmap>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace rec = shell::icon_record;

TEST(StatusNotifier, IconsMoveToTheBusHostAndBackAndItsActivationsArePostedAsADoubleClick) {
    windowing::MessageWindow owner;
    std::vector<int> got; // (QList's == hands memcmp a null pointer for two empty lists)
    owner.onMouseMessage = [&](int, int, double x, double) {
        got.push_back(int(x) / windowing::TwipsPerPixel);
    };
    QList<bool> changes;
    QObject::connect(shell::TrayHosts::instance(), &shell::TrayHosts::changed, [&](bool present) {
        changes << present;
    });
    QPixmap red(16, 16);
    QByteArray r(rec::Size, '\0');
    red.fill(Qt::red);
    for (const auto &[offset, value] : {std::pair(rec::CbSize, 88u),
                                        {rec::Window, owner.handle()},
                                        {rec::Id, 3u},
                                        {rec::Flags, 7u},
                                        {rec::CallbackMessage, 0x200u},
                                        {rec::Icon, windowing::iconHandle(QIcon(red))}})
        shell::writeU32(r, offset, value);
    shell::writeTextField(r, rec::Tip, rec::TipWidth, QStringLiteral("Усилитель"));
    ASSERT_FALSE(shell::trayHostPresent()) << "no tray host yet";
    ASSERT_TRUE(shell::notifyIcon(shell::Operation::Add, r));
    ASSERT_NE(shell::trayIcon(owner.handle(), 3), nullptr) << "shown as the desktop's own icon";

    shell::testing::TrayHost watcher;
    watcher.setPresent(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.items.size() == 1; }));
    EXPECT_FALSE(shell::trayIcon(owner.handle(), 3)->wanted()) << "hidden while on the bus";
    const auto call =
        [&](const QString &interface, const QString &method, const QVariantList &args) {
            auto m = QDBusMessage::createMethodCall(
                watcher.items.last(), "/StatusNotifierItem", interface, method);
            m.setArguments(args);
            return watcher.bus.call(m, QDBus::BlockWithGui).arguments().value(0);
        };
    const auto property = [&](const char *name) {
        return call("org.freedesktop.DBus.Properties", "Get", {"org.kde.StatusNotifierItem", name})
            .value<QDBusVariant>()
            .variant();
    };
    EXPECT_EQ(property("Id").toString(), "shell_sni_tests-3") << "program and icon";
    EXPECT_EQ(property("Category").toString(), "ApplicationStatus");
    EXPECT_FALSE(property("ItemIsMenu").toBool()) << "activations are asked for";
    int width = 0;
    int height = 0;
    QByteArray pixels;
    const QDBusArgument image = property("IconPixmap").value<QDBusArgument>();
    image.beginArray();
    image.beginStructure();
    image >> width >> height >> pixels;
    EXPECT_EQ(width, 16) << "the icon's width";
    EXPECT_EQ(height, 16) << "the icon's height";
    EXPECT_EQ(pixels.size(), 1024) << "32-bit pixels";
    EXPECT_EQ(pixels.left(4), QByteArray("\xff\xff\0\0", 4)) << "opaque red, alpha first";
    QString iconName;
    QString title;
    const QDBusArgument tip = property("ToolTip").value<QDBusArgument>();
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    tip.endArray();
    tip >> title;
    EXPECT_EQ(title, QStringLiteral("Усилитель")) << "the tip as the tool tip's title";

    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const struct {
        const char *method;
        int advance;
        std::vector<int> posted;
    } activations[] = {
        {"Activate", 0, {513, 514, 515, 514}},
        {"Activate", interval - 1, {}},
        {"Activate", 1, {513, 514, 515, 514}},
        {"SecondaryActivate", 0, {519, 520}},
        {"ContextMenu", 0, {516, 517}},
    };
    for (const auto &a : activations) {
        windowing::advanceClock(a.advance);
        got.clear();
        call("org.kde.StatusNotifierItem", a.method, {0, 0});
        QCoreApplication::processEvents();
        EXPECT_EQ(got, a.posted) << a.method << " after " << a.advance << " ms";
    }

    ASSERT_TRUE(watcher.setPresent(false));
    EXPECT_TRUE(shell::trayIcon(owner.handle(), 3)->wanted()) << "back when the host goes";
    watcher.setPresent(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.items.size() == 2; })) << "registered again";
    EXPECT_EQ(changes, QList<bool>({true, false, true})) << "each coming and going told";
}

int main(int argc, char **argv) {
    if (!shell::testing::startPrivateBus())
        return 77; // no dbus-daemon here
    QApplication app(argc, argv);
    app.setApplicationName("shell_sni_tests");
    windowing::useManualClock();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
