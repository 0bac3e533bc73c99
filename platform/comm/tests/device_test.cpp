// The serial-port control on a device file: a pseudo-terminal whose modem
// lines the preloaded shim emulates. termios settings, the exact modem
// requests, carrier detect, failures, a device that goes away.
#include <gtest/gtest.h>

#include <QFile>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "comm/errors.h"
#include "comm/testing.h"

using automation::Variant;
namespace ct = comm::testing;

namespace {

enum { CDHolding = 1, DTREnable = 9, PortOpen = 20, RTSEnable = 22, Settings = 23, Output = 25 };

class Device : public ::testing::Test {
protected:
    void SetUp() override
    {
        ct::writeConfig(QStringLiteral("COM1 = %1\n").arg(pty.slavePath()));
        ct::clearModemRequests();
    }
    void TearDown() override { ct::restoreConfig(); }
    bool put(int id, bool on) { return port->put(id, Variant::fromBool(on)).ok(); }
    bool cd() { return port->get(CDHolding).value().boolean(); }
    // The requests on the pty since the last call, e.g. "BIC RTS, BIS DTR, GET".
    QString requests()
    {
        QStringList out;
        for (const auto& r : ct::modemRequests()) {
            const QString line = r.arg == TIOCM_RTS ? " RTS" : r.arg == TIOCM_DTR ? " DTR" : "";
            out << (r.request == TIOCMBIS ? "BIS" : r.request == TIOCMBIC ? "BIC" : r.request == TIOCMGET ? "GET"
                    : r.request == TIOCEXCL ? "EXCL" : r.request == TIOCNXCL ? "NXCL" : "other") + line;
        }
        ct::clearModemRequests();
        return out.join(", ");
    }
    int outputs() { return ct::modemLines(pty.device()) & (TIOCM_RTS | TIOCM_DTR); }

    ct::Pty pty;
    automation::ControlPtr port = ct::createPort();
};

} // namespace

TEST_F(Device, OpenIsRawExclusiveWithoutHangupOrFlowControl)
{
    // Settings another program left behind, which the open must undo.
    termios dirty = pty.slaveSettings();
    dirty.c_cflag |= HUPCL | CRTSCTS | PARENB | CSTOPB;
    dirty.c_iflag |= IXON | IXOFF;
    dirty.c_lflag |= ICANON | ECHO | ISIG;
    const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &dirty), 0);
    ::close(fd);
    ASSERT_TRUE(port->put(Settings, Variant("1200,N,8,1")).ok());
    ASSERT_TRUE(put(RTSEnable, true));
    requests();
    ASSERT_TRUE(put(PortOpen, true));
    EXPECT_EQ(requests(), "EXCL, BIS RTS, BIC DTR") << "exclusive, then the kept levels, RTS first";
    const termios t = pty.slaveSettings();
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL | CRTSCTS | CSIZE | PARENB | CSTOPB), tcflag_t(CLOCAL | CREAD | CS8));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B1200));
    ASSERT_TRUE(port->put(Settings, Variant("2400,N,8,1")).ok());
    const termios after = pty.slaveSettings();
    EXPECT_EQ(cfgetispeed(&after), speed_t(B2400)) << "applied to the open port";
    // A second port on the same device.
    const auto other = ct::createPort();
    const auto r = other->put(PortOpen, Variant::fromBool(true));
    EXPECT_EQ(r.error().description, "COM1: " + pty.slavePath() + " is already in use by another program");
    EXPECT_EQ(r.error().number, comm::err::PortAlreadyOpen);
    // Closing leaves the lines as they are.
    ASSERT_TRUE(put(PortOpen, false));
    EXPECT_EQ(requests(), "NXCL");
    EXPECT_EQ(outputs(), TIOCM_RTS);
}

TEST_F(Device, EachWordIsItsExactRequestsThenTheCharacter)
{
    ASSERT_TRUE(put(PortOpen, true));
    for (unsigned v : {0x00u, 0x01u, 0x5Au, 0xFFu}) {
        std::array<bool, 8> bits{};
        QStringList expected;
        for (int i = 0; i < 8; ++i) {
            bits[i] = v >> i & 1;
            expected << "BIC RTS" << "BIC DTR";
            if (bits[i])
                expected << "BIS RTS";
            expected << "BIS DTR";
        }
        requests();
        ASSERT_TRUE(ct::sendWord(*port, bits).ok());
        EXPECT_EQ(requests(), expected.join(", ")) << v;
        EXPECT_EQ(pty.read(), "0") << "the closing character, after the last cell";
        EXPECT_EQ(outputs(), TIOCM_DTR | (v & 0x80 ? TIOCM_RTS : 0)) << v;
    }
    EXPECT_FALSE(cd());
    ct::setModemInputs(pty.device(), TIOCM_CAR);
    EXPECT_TRUE(cd());
    EXPECT_EQ(requests(), "GET, GET") << "one query per read";
}

TEST_F(Device, GoneUnderTheOpenPortAndNotThere)
{
    EXPECT_FALSE(cd());
    EXPECT_TRUE(put(RTSEnable, true));
    EXPECT_EQ(requests(), "") << "a closed port reaches no device";
    ASSERT_TRUE(put(PortOpen, true));
    ct::setModemInputs(pty.device(), TIOCM_CAR);
    // The adapter is unplugged: the line hangs up, modem requests fail with EIO.
    pty.hangUp();
    ct::failModemRequests(pty.device(), EIO);
    requests();
    EXPECT_FALSE(cd());
    EXPECT_TRUE(put(RTSEnable, false));
    EXPECT_TRUE(put(DTREnable, true));
    const auto out = port->put(Output, Variant("0"));
    EXPECT_EQ(out.error().number, comm::err::HardwareNotAvailable);
    EXPECT_EQ(out.error().description, "COM1: " + pty.slavePath() + " is no longer available (device removed)");
    EXPECT_EQ(requests(), "GET") << "once gone, line writes make no requests";
    EXPECT_TRUE(put(PortOpen, false));
    ct::failModemRequests(pty.device(), 0);
}
