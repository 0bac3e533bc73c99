// Balloons over the shell's icons as a notification service of the test's own
// on a private session bus sees them.
#include "shell/notifyicon.h"
#include "shell/records.h"
#include "shell/testing.h"
#include "windowing/handles.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include <gtest/gtest.h>

namespace balloon = shell::balloon_record;

// org.freedesktop.Notifications as far as the shell uses it, each call logged.
class Service : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    QStringList log, capabilities;
    uint lastId = 0;
    QDBusConnection bus =
        QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "service");
    void run(bool on, const QStringList &serviceCapabilities) {
        capabilities = serviceCapabilities;
        on ? bus.registerService("org.freedesktop.Notifications")
           : bus.unregisterService("org.freedesktop.Notifications");
        // The shell's connection has seen the change once it answers after it.
        QDBusConnection::sessionBus().interface()->isServiceRegistered(
            "org.freedesktop.Notifications");
        QCoreApplication::processEvents();
    }
  public slots:
    QStringList GetCapabilities() {
        log << "caps";
        return capabilities;
    }
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int timeout) {
        const uint id = replaces ? replaces : ++lastId;
        log << QStringLiteral("Notify %1 %2 [%3] [%4] [%5] %6%7%8 -> %9")
                   .arg(app)
                   .arg(replaces)
                   .arg(icon, summary, body)
                   .arg(actions.size())
                   .arg(hints.size())
                   .arg(timeout)
                   .arg(id);
        return id;
    }
    void CloseNotification(uint id) { log << QStringLiteral("Close %1").arg(id); }
};

// A balloon record for icon 1 of the window.
QByteArray balloonRecord(std::uint32_t window, std::uint32_t type, const QString &text,
                         const QString &title) {
    QByteArray r(balloon::Size, '\0');
    for (auto [offset, value] : {std::pair(0, 488u),
                                 {4, window},
                                 {8, 1u},
                                 {12, balloon::InfoFlag},
                                 {balloon::InfoFlags, type}})
        shell::writeU32(r, offset, value);
    shell::writeTextField(r, balloon::Info, balloon::InfoWidth, text);
    shell::writeTextField(r, balloon::InfoTitle, balloon::InfoTitleWidth, title);
    return r;
}

TEST(Notifications, BalloonsOverARegisteredIconBecomeNotifications) {
    windowing::MessageWindow owner;
    QByteArray icon(88, '\0');
    for (auto [offset, value] : {std::pair(0, 88u), {4, owner.handle()}, {8, 1u}})
        shell::writeU32(icon, offset, value);
    ASSERT_TRUE(shell::notifyIcon(shell::Operation::Add, icon));
    Service service;
    ASSERT_TRUE(service.bus.registerObject(
        "/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots));
    const QString app = QCoreApplication::applicationName();
    const struct {
        const char *service;
        std::uint32_t type;
        QString prompt, title;
        bool registered;
        QStringList seen;
    } steps[] = {
        {"plain",
         1,
         QStringLiteral("Усилитель включен"),
         "Velmora <1> & co",
         true,
         {"caps",
          QStringLiteral(
              "Notify %1 0 [dialog-information] [Velmora <1> & co] [Усилитель включен] 00-1 -> 1")
              .arg(app)}},
        {"",
         3,
         "a<b & c>",
         "T",
         true,
         {"Notify " + app + " 1 [dialog-error] [T] [a<b & c>] 00-1 -> 1"}},
        {"", 7, "x", "T", true, {"Notify " + app + " 1 [] [T] [x] 00-1 -> 1"}},
        {"", 2, "elsewhere", "T", false, {}},
        {"", 0, "", "T", true, {"Close 1"}},
        {"", 0, "", "T", true, {}},
        {"",
         2,
         "again",
         "T",
         true,
         {"Notify " + app + " 0 [dialog-warning] [T] [again] 00-1 -> 2"}},
        {"off", 1, "lost", "T", true, {}},
        {"markup",
         1,
         "a<b & c>",
         "T&T",
         true,
         {"caps",
          "Notify " + app + " 0 [dialog-information] [T&amp;T] [a&lt;b &amp; c&gt;] 00-1 -> 3"}},
    };
    QStringList expected;
    for (const auto &s : steps) {
        if (*s.service) // the service (re)starts, or goes
            service.run(QString(s.service) != "off",
                        QString(s.service) == "markup" ? QStringList{"body", "body-markup"}
                                                       : QStringList{"body"});
        EXPECT_EQ(shell::notifyIcon(
                      shell::Operation::Modify,
                      balloonRecord(owner.handle() + !s.registered, s.type, s.prompt, s.title)),
                  s.registered);
        expected += s.seen;
        EXPECT_TRUE(QTest::qWaitFor([&] { return service.log.size() >= expected.size(); }))
            << "the service got " << service.log.size() << " calls, not " << expected.size();
        EXPECT_EQ(service.log.join('\n').toStdString(), expected.join('\n').toStdString())
            << "after a balloon of type " << s.type << " saying " << s.prompt.toStdString();
    }
    // The icon goes, and its balloon with it.
    ASSERT_TRUE(shell::notifyIcon(shell::Operation::Delete, icon));
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.log.size() > expected.size(); }));
    EXPECT_EQ(service.log.mid(expected.size()).join('\n').toStdString(), "Close 3")
        << "the icon's balloon goes with it";
}

int main(int argc, char **argv) {
    if (!shell::testing::startPrivateBus())
        return 77; // no dbus-daemon here
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "notifications_test.moc"
