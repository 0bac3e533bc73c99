// The port mapping file.
#include <gtest/gtest.h>

#include "comm/portmap.h"
#include "comm/testing.h"

using comm::PortMap;
using comm::PortTarget;

namespace {

std::optional<PortMap> parse(const char* text, QString* error)
{
    return PortMap::parse(QByteArray(text), QStringLiteral("/cfg/comm.conf"), error);
}

} // namespace

TEST(PortMap, DefaultsAreTheFirstThreeSerialPorts)
{
    QString error;
    const auto map = parse("# nothing but a comment\n\n", &error);
    ASSERT_TRUE(map) << qPrintable(error);
    ASSERT_EQ(map->ports.size(), 3u);
    // COMn is the kernel's n-th on-board serial device. Only the names are
    // checked here; nothing ever opens them in a test.
    const QString onBoard = QStringLiteral("/dev/ttyS");
    for (int n = 1; n <= 3; ++n) {
        ASSERT_NE(map->find(n), nullptr);
        EXPECT_EQ(map->find(n)->device, onBoard + QString::number(n - 1));
    }
    EXPECT_EQ(map->find(4), nullptr);
    EXPECT_TRUE(map->trace.isEmpty());
}

TEST(PortMap, DevicesSimulatorsAndTrace)
{
    QString error;
    const auto map = parse("COM1 = /dev/ttyUSB0   # the adapter\n"
                           "  com2=sim   \n"
                           "COM3 = sim:bench?delay=250&panel=1&power=on\n"
                           "COM12 = sim:x.y-z_1?panel=0\n"
                           "COM16 = sim?delay=40\n"
                           "trace = /tmp/lines#1.vcd\n", &error);
    ASSERT_TRUE(map) << qPrintable(error);
    EXPECT_EQ(map->find(1)->kind, PortTarget::Kind::Device);
    EXPECT_EQ(map->find(1)->device, "/dev/ttyUSB0");
    EXPECT_EQ(map->find(2)->kind, PortTarget::Kind::Simulator);
    EXPECT_EQ(map->find(2)->simulator, "default");
    EXPECT_EQ(map->find(2)->carrierDelayMs, -1) << "not given";
    EXPECT_EQ(map->find(3)->simulator, "bench");
    EXPECT_EQ(map->find(3)->carrierDelayMs, 250);
    EXPECT_TRUE(map->find(3)->panel);
    EXPECT_TRUE(map->find(3)->powerOn);
    EXPECT_FALSE(map->find(2)->powerOn);
    EXPECT_EQ(map->find(12)->simulator, "x.y-z_1");
    EXPECT_FALSE(map->find(12)->panel);
    EXPECT_EQ(map->find(16)->simulator, "default");
    EXPECT_EQ(map->find(16)->carrierDelayMs, 40);
    EXPECT_EQ(map->trace, "/tmp/lines#1.vcd");
}

TEST(PortMap, DamagedLinesNameFileAndLine)
{
    const struct { const char* text; const char* says; } cases[] = {
        {"COM1 /dev/ttyUSB0\n", "/cfg/comm.conf:1: expected \"key = value\""},
        {"\nCOM17 = sim\n", "/cfg/comm.conf:2: unknown key \"COM17\""},
        {"COM0 = sim\n", "unknown key \"COM0\""},
        {"speed = 300\n", "unknown key \"speed\""},
        {"COM1 = ttyUSB0\n", "COM1: \"ttyUSB0\" is neither a device path"},
        {"COM1 = sim:a b\n", "simulator name \"a b\""},
        {"COM1 = simulator\n", "\"simulator\" is neither"},
        {"COM1 = sim:a?delay=-5\n", "bad delay \"-5\""},
        {"COM1 = sim:a?panel=yes\n", "bad panel \"yes\""},
        {"COM1 = sim:a?power=1\n", "bad power \"1\""},
        {"COM1 = sim:a?colour=red\n", "unknown simulator option \"colour\""},
        {"trace = lines.vcd\n", "must be an absolute path"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(parse(c.text, &error)) << c.text;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << qPrintable(error);
        EXPECT_TRUE(error.startsWith(QStringLiteral("/cfg/comm.conf:"))) << qPrintable(error);
    }
}

TEST(PortMap, FileComesFromTheEnvironmentOrXdgConfigHome)
{
    // The test support points VELMORA_COMM_CONFIG at the private file.
    EXPECT_EQ(PortMap::configPath(), qEnvironmentVariable("VELMORA_COMM_CONFIG"));
    const QByteArray saved = qgetenv("VELMORA_COMM_CONFIG");
    qunsetenv("VELMORA_COMM_CONFIG");
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/somewhere/config");
    EXPECT_EQ(PortMap::configPath(), "/somewhere/config/velmora/comm.conf");
    qputenv("XDG_CONFIG_HOME", savedXdg);
    if (savedXdg.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    qputenv("VELMORA_COMM_CONFIG", saved);
}

TEST(PortMap, LoadsThePrivateFileAndReportsItsDamage)
{
    QString error;
    auto map = PortMap::load(&error);
    ASSERT_TRUE(map) << qPrintable(error);
    EXPECT_EQ(map->find(1)->simulator, "default");
    EXPECT_EQ(map->find(2)->simulator, "com2");

    comm::testing::writeConfig(QStringLiteral("COM1 = nowhere\n"));
    EXPECT_FALSE(PortMap::load(&error));
    EXPECT_TRUE(error.startsWith(qEnvironmentVariable("VELMORA_COMM_CONFIG") + QStringLiteral(":1:"))) << qPrintable(error);
    comm::testing::restoreConfig();
}
