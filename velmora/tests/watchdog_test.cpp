// The port watchdog (every 5 s): reopening, renumbering, speed cycling, and
// its two traps.
#include "panel.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "dispids.h"

using namespace paneltest;

namespace {

const QString AskPort = QStringLiteral("Нет доступа к текущему COM порту. Настроить номер порта?");

std::int16_t commPort(velmora::Velmora& p) { return p.MSComm1.get(velmora::comm::CommPort).value().i2(); }

// The double's record of opens, closes, renumbering and line settings.
QStringList portCalls(velmora::Velmora& p)
{
    QStringList out;
    for (const QString& c : calls(p.MSComm1))
        if (c.startsWith(QLatin1String("PortOpen")) || c.startsWith(QLatin1String("CommPort"))
            || c.startsWith(QLatin1String("Settings")))
            out << c;
    return out;
}

using WatchdogTest = PanelTest;

} // namespace

TEST_F(WatchdogTest, MovesThePortToTheChosenNumberAtTheNextTick)
{
    writeSettingsFile(" 1 \r\n 0 \r\n 0 \r\n-1 \r\n");
    auto& p = start();
    EXPECT_EQ(commPort(p), 1);
    advance(4850 - 1);
    EXPECT_TRUE(amp("default").portOpen());
    advance(1);
    EXPECT_EQ(commPort(p), 2);
    EXPECT_FALSE(amp("default").portOpen());
    EXPECT_TRUE(amp("com2").portOpen());
    EXPECT_EQ(p.PortOk, -1);

    p.findChild<QAbstractButton*>("Kom1")->click();
    EXPECT_EQ(words("com2").size(), 4);
    EXPECT_TRUE(words("default").isEmpty());
    EXPECT_EQ(countBoxes(AskPort), 0);
}

TEST_F(WatchdogTest, AnOpenRefusedOnTheOpenPortLeavesItOnItsNumberWithPortOkFalse)
{
    qputenv("VELMORA_REGISTRY", QFile::encodeName(refusingCommRegistry()));
    writeSettingsFile(" 1 \r\n 0 \r\n 0 \r\n-1 \r\n");
    auto& p = start();
    ASSERT_EQ(p.PortOk, -1);
    clearCalls(p.MSComm1);
    advance(4850);
    EXPECT_EQ(p.PortOk, 0);
    EXPECT_EQ(commPort(p), 1);
    EXPECT_EQ(portCalls(p), QStringList{QStringLiteral("PortOpen=True -> error 8005")});

    // From now on every tick ends in its first step: the number is never applied.
    clearCalls(p.MSComm1);
    advance(10000);
    EXPECT_EQ(portCalls(p), (QStringList{QStringLiteral("PortOpen=True -> error 8005"),
                                         QStringLiteral("PortOpen=True -> error 8005")}));
    EXPECT_EQ(commPort(p), 1);
    EXPECT_EQ(p.PortOk, 0);
}

TEST_F(WatchdogTest, AChosenSpeedCyclesThePortEveryTick)
{
    qputenv("VELMORA_REGISTRY", QFile::encodeName(refusingCommRegistry()));
    writeSettingsFile(" 0 \r\n 0 \r\n 0 \r\n 2 \r\n");
    auto& p = start();
    clearCalls(p.MSComm1);
    advance(4850);
    const QStringList cycle{QStringLiteral("PortOpen=False"), QStringLiteral("Settings=\"2400,N,8,1\""),
                            QStringLiteral("PortOpen=True")};
    EXPECT_EQ(portCalls(p), cycle);
    clearCalls(p.MSComm1);
    advance(5000);
    EXPECT_EQ(portCalls(p), cycle) << "also when the speed has not changed";
    EXPECT_EQ(p.PortOk, -1);

    // Any other number leaves the port alone.
    writeSettingsFile(" 0 \r\n 0 \r\n 0 \r\n-1 \r\n");
    clearCalls(p.MSComm1);
    advance(10000);
    EXPECT_TRUE(portCalls(p).isEmpty()) << portCalls(p).join(QLatin1Char('\n')).toStdString();
}

TEST_F(WatchdogTest, TheSpeedReachesTheSimulatedLine)
{
    writeSettingsFile(" 0 \r\n 0 \r\n 0 \r\n 1 \r\n");
    start();
    EXPECT_EQ(amp().speed(), 300);
    advance(4850);
    EXPECT_EQ(amp().speed(), 1200);
    EXPECT_TRUE(amp().portOpen());
}

TEST_F(WatchdogTest, APortAbsentAtStartIsOpenedOnceItIsThere)
{
    amp().unplug();
    auto& p = load();
    EXPECT_EQ(p.PortOk, 0);
    advance(5000);
    EXPECT_EQ(p.PortOk, 0);
    EXPECT_FALSE(amp().portOpen());

    amp().replug();
    advance(5000);
    EXPECT_EQ(p.PortOk, -1);
    EXPECT_TRUE(amp().portOpen());
    boxes.clear();
    amp().clearWords();
    p.findChild<QAbstractButton*>("Kom1")->click();
    EXPECT_EQ(countBoxes(AskPort), 0);
    EXPECT_EQ(words().size(), 4);
}

TEST_F(WatchdogTest, AnAdapterUnpluggedUnderTheOpenPortIsReopenedWhenItComesBack)
{
    amp().pressPowerKey();
    auto& p = start();
    amp().unplug();
    advance(300);   // the poll reads no carrier and carries on
    EXPECT_EQ(p.findChild<QLabel*>("Label4")->text(), QStringLiteral("ВЫКЛЮЧЕН"));
    p.findChild<QAbstractButton*>("Kom1")->click();
    EXPECT_EQ(countBoxes(AskPort), 4);
    advance(5000);   // the reopen fails: the tick just ends

    amp().replug();
    advance(5000);
    EXPECT_TRUE(amp().portOpen());
    boxes.clear();
    amp().clearWords();
    p.findChild<QAbstractButton*>("Kom1")->click();
    EXPECT_EQ(countBoxes(AskPort), 0);
    EXPECT_EQ(words().size(), 4);
}
