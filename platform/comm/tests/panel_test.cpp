// The simulated amplifier's front panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "comm/frontpanel.h"
#include "comm/simulator.h"
#include "mscomm.h"
#include "comm/testing.h"

using automation::Variant;

TEST(FrontPanel, ShownByTheMappingFollowsTheAmplifierAndNeverKeepsTheProgramAlive)
{
    int argc = 1;
    char name[] = "panel_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto& amp = comm::SimulatedAmplifier::get(QStringLiteral("panel"));

    comm::testing::writeConfig(QStringLiteral("COM1 = sim:panel?panel=1\nCOM2 = sim:panel\n"));
    comm::MSComm port;
    EXPECT_EQ(amp.panel(), nullptr);
    port.put(comm::MSComm::DispCommPort, Variant(std::int16_t(2)));
    ASSERT_TRUE(port.put(comm::MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_EQ(amp.panel(), nullptr) << "only a mapping with panel=1 shows it";
    port.put(comm::MSComm::DispPortOpen, Variant::fromBool(false));
    port.put(comm::MSComm::DispCommPort, Variant(std::int16_t(1)));
    ASSERT_TRUE(port.put(comm::MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    QPointer<comm::FrontPanel> panel = amp.panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(panel->stateText(), "Power off | Standby off | Input 1 | Carrier off");

    // Its power button is the amplifier's own: the carrier follows.
    panel->powerButton()->click();
    EXPECT_TRUE(amp.powered());
    EXPECT_TRUE(port.get(comm::MSComm::DispCDHolding).value().boolean());
    EXPECT_TRUE(panel->stateText().startsWith(QStringLiteral("Power on")));
    amp.unplug();
    EXPECT_TRUE(panel->stateText().endsWith(QStringLiteral("| unplugged")));
    amp.replug();

    // The program's last window closes: the application ends although the
    // panel is still open, and the panel goes with it.
    QWidget main;
    main.show();
    QTimer::singleShot(0, &main, &QWidget::close);
    QTimer::singleShot(5000, &app, [&] { app.exit(1); });   // only if the panel kept it alive
    EXPECT_EQ(app.exec(), 0);
    EXPECT_FALSE(panel) << "deleted when the application quit";
    comm::testing::restoreConfig();
}
