// The device backend on a pseudo-terminal, with the modem-line shim
// preloaded (ctest sets LD_PRELOAD): termios settings, the exact modem
// requests of each word, carrier detect, failed opens, a device that goes away.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "comm/errors.h"
#include "mscomm.h"
#include "comm/testing.h"

using automation::Result;
using automation::Variant;
using comm::MSComm;

namespace {

struct Req {
    unsigned request;
    int arg;
    bool operator==(const Req&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Req& r)
{
    const char* name = r.request == TIOCMBIS ? "BIS" : r.request == TIOCMBIC ? "BIC" : r.request == TIOCMGET ? "GET"
                     : r.request == TIOCEXCL ? "EXCL" : r.request == TIOCNXCL ? "NXCL" : "other";
    return os << name << "(" << (r.arg == TIOCM_RTS ? "RTS" : r.arg == TIOCM_DTR ? "DTR" : std::to_string(r.arg)) << ")";
}

const Req bisRts{TIOCMBIS, TIOCM_RTS}, bicRts{TIOCMBIC, TIOCM_RTS};
const Req bisDtr{TIOCMBIS, TIOCM_DTR}, bicDtr{TIOCMBIC, TIOCM_DTR};

// Drops every capability of this process: root then meets file permissions
// and exclusive ttys like any user. Only in a child process.
void dropCapabilities()
{
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capset, &hdr, data) != 0)
        _exit(3);
}

class Device : public ::testing::Test {
protected:
    void SetUp() override
    {
        comm::testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(pty.slavePath()));
        shim.clear();
    }
    void TearDown() override { comm::testing::restoreConfig(); }

    Result<> put(int id, Variant v) { return comm.put(id, std::move(v)); }
    bool open() { return put(MSComm::DispPortOpen, Variant::fromBool(true)).ok(); }
    std::vector<Req> requests() const
    {
        std::vector<Req> out;
        for (const auto& r : shim.requests())
            if (r.device == pty.device())
                out.push_back({r.request, r.arg});
        return out;
    }
    Result<> sendWord(const std::array<bool, 8>& bits) { return comm::testing::sendWord(comm, bits); }
    // The control's own descriptor of the slave (not the test's).
    int portFd() const
    {
        const QDir fds(QStringLiteral("/proc/self/fd"));
        int found = -1;
        for (const QString& n : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries))
            if (QFile::symLinkTarget(fds.filePath(n)) == pty.slavePath())
                found = std::max(found, n.toInt());
        return found;
    }

    struct {
        std::vector<comm::testing::ModemRequest> requests() const { return comm::testing::modemRequests(); }
        std::size_t count() const { return requests().size(); }
        void clear() { comm::testing::clearModemRequests(); }
        int lines(dev_t d) { return comm::testing::modemLines(d); }
        void setInputs(dev_t d, int i) { comm::testing::setModemInputs(d, i); }
        void fail(dev_t d, int e) { comm::testing::failModemRequests(d, e); }
    } shim;
    comm::testing::Pty pty;
    MSComm comm;
};

} // namespace

TEST_F(Device, OpenSetsRawExclusiveNonBlockingLineWithoutHangupOrFlowControl)
{
    ASSERT_TRUE(put(MSComm::DispSettings, Variant("1200,N,8,1")).ok());
    ASSERT_TRUE(open());
    const termios t = pty.slaveSettings();
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_cflag & HUPCL);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B1200));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B1200));
    const int fd = portFd();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
    // Exclusive, then the kept levels (both deasserted at first): one request each.
    EXPECT_EQ(requests(), (std::vector<Req>{{TIOCEXCL, 0}, bicRts, bicDtr}));

    ASSERT_TRUE(put(MSComm::DispSettings, Variant("2400,N,8,1")).ok());
    const termios after = pty.slaveSettings();
    EXPECT_EQ(cfgetospeed(&after), speed_t(B2400));
}

TEST_F(Device, AllFalseWordIsEightCellsEndedByDtrThenTheCharacter)
{
    ASSERT_TRUE(open());
    pty.read();
    shim.clear();
    for (int i = 0; i < 8; ++i) {
        put(MSComm::DispRTSEnable, Variant::fromBool(false));
        put(MSComm::DispDTREnable, Variant::fromBool(false));
        put(MSComm::DispDTREnable, Variant::fromBool(true));
    }
    EXPECT_TRUE(pty.read().isEmpty()) << "nothing is sent before the word's last cell";
    ASSERT_TRUE(put(MSComm::DispOutput, Variant("0")).ok());
    EXPECT_EQ(pty.read(), "0");
    std::vector<Req> expected;
    for (int i = 0; i < 8; ++i)
        expected.insert(expected.end(), {bicRts, bicDtr, bisDtr});
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(shim.lines(pty.device()) & (TIOCM_RTS | TIOCM_DTR), TIOCM_DTR);
}

TEST_F(Device, ElementOneAssertsRtsInTheFirstCellOnly)
{
    ASSERT_TRUE(open());
    shim.clear();
    ASSERT_TRUE(sendWord({true}).ok());
    const auto log = shim.requests();
    ASSERT_EQ(log.size(), 25u);
    std::vector<Req> expected{bicRts, bicDtr, bisRts, bisDtr};
    for (int i = 1; i < 8; ++i)
        expected.insert(expected.end(), {bicRts, bicDtr, bisDtr});
    EXPECT_EQ(requests(), expected);
    // RTS as sampled at each DTR rising edge: high in cell 1 only.
    std::vector<bool> sampled;
    for (const auto& r : log)
        if (r.request == TIOCMBIS && r.arg == TIOCM_DTR)
            sampled.push_back(r.lines & TIOCM_RTS);
    EXPECT_EQ(sampled, (std::vector<bool>{true, false, false, false, false, false, false, false}));
    EXPECT_EQ(shim.lines(pty.device()) & (TIOCM_RTS | TIOCM_DTR), TIOCM_DTR);
}

TEST_F(Device, EveryWordTakes24RequestsPlusOnePerSetBit)
{
    ASSERT_TRUE(open());
    for (unsigned v : {0x00u, 0x01u, 0x08u, 0x20u, 0x5Au, 0x7Fu, 0xFFu}) {
        std::array<bool, 8> bits{};
        for (int i = 0; i < 8; ++i)
            bits[i] = v >> i & 1;
        shim.clear();
        ASSERT_TRUE(sendWord(bits).ok());
        EXPECT_EQ(shim.count(), 24u + std::size_t(__builtin_popcount(v))) << std::hex << v;
        // DTR stays asserted; RTS holds element 8, which the program never sets.
        EXPECT_EQ(shim.lines(pty.device()) & (TIOCM_RTS | TIOCM_DTR), TIOCM_DTR | (v & 0x80 ? TIOCM_RTS : 0))
            << std::hex << v;
    }
    EXPECT_EQ(pty.read(), QByteArray(7, '0'));
}

TEST_F(Device, CarrierIsOneQueryAndClosedPortKeepsLevelsForTheOpen)
{
    // Requests on a closed port reach no device; the levels wait for the open.
    put(MSComm::DispRTSEnable, Variant::fromBool(true));
    put(MSComm::DispDTREnable, Variant::fromBool(true));
    EXPECT_FALSE(comm.get(MSComm::DispCDHolding).value().boolean());
    EXPECT_EQ(shim.count(), 0u);
    ASSERT_TRUE(open());
    EXPECT_EQ(requests(), (std::vector<Req>{{TIOCEXCL, 0}, bisRts, bisDtr}));

    shim.clear();
    EXPECT_FALSE(comm.get(MSComm::DispCDHolding).value().boolean());
    shim.setInputs(pty.device(), TIOCM_CAR);
    EXPECT_TRUE(comm.get(MSComm::DispCDHolding).value().boolean());
    EXPECT_EQ(requests(), (std::vector<Req>{{TIOCMGET, 0}, {TIOCMGET, 0}}));

    // Closing leaves the lines as they are (HUPCL is cleared).
    shim.clear();
    put(MSComm::DispRTSEnable, Variant::fromBool(false));
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    EXPECT_EQ(requests(), (std::vector<Req>{bicRts, {TIOCNXCL, 0}}));
    EXPECT_EQ(shim.lines(pty.device()) & (TIOCM_RTS | TIOCM_DTR), TIOCM_DTR);
    EXPECT_FALSE(pty.slaveSettings().c_cflag & HUPCL);
}

TEST_F(Device, DeviceGoneUnderTheOpenPort)
{
    ASSERT_TRUE(open());
    shim.setInputs(pty.device(), TIOCM_CAR);
    ASSERT_TRUE(comm.get(MSComm::DispCDHolding).value().boolean());
    // The adapter is unplugged: the line hangs up, modem requests fail with EIO.
    pty.hangUp();
    shim.fail(pty.device(), EIO);
    shim.clear();
    const Result<> cd = comm.get(MSComm::DispCDHolding);
    ASSERT_TRUE(cd.ok());
    EXPECT_FALSE(cd.value().boolean());
    EXPECT_TRUE(put(MSComm::DispRTSEnable, Variant::fromBool(true)).ok());
    EXPECT_TRUE(put(MSComm::DispDTREnable, Variant::fromBool(false)).ok());
    const Result<> out = put(MSComm::DispOutput, Variant("0"));
    ASSERT_FALSE(out.ok());
    EXPECT_EQ(out.error().number, comm::err::HardwareNotAvailable);
    EXPECT_TRUE(out.error().description.contains(QStringLiteral("COM1: %1 is no longer available").arg(pty.slavePath())))
        << qPrintable(out.error().description);
    EXPECT_EQ(shim.count(), 1u) << "once gone, line writes make no requests";
    EXPECT_TRUE(comm.get(MSComm::DispPortOpen).value().boolean());
    EXPECT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    shim.fail(pty.device(), 0);
}

TEST_F(Device, NoSuchDevice)
{
    const QString missing = pty.slavePath() + QStringLiteral("999");
    comm::testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(missing));
    const Result<> r = put(MSComm::DispPortOpen, Variant::fromBool(true));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().number, comm::err::InvalidPort);
    EXPECT_EQ(r.error().description, QStringLiteral("COM1: no such device: %1").arg(missing));
}

TEST_F(Device, AlreadyInUseByAnotherProgram)
{
    ASSERT_TRUE(open());
    // Another port of this process.
    MSComm other;
    Result<> r = other.put(MSComm::DispPortOpen, Variant::fromBool(true));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().number, comm::err::PortAlreadyOpen);
    EXPECT_EQ(r.error().description, QStringLiteral("COM1: %1 is already in use by another program").arg(pty.slavePath()));
    // Another program without privileges meets the exclusive open (EBUSY).
    EXPECT_EXIT(
        {
            dropCapabilities();
            const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool busy = fd < 0 && errno == EBUSY;
            MSComm third;
            const Result<> t = third.put(MSComm::DispPortOpen, Variant::fromBool(true));
            fprintf(stderr, "%s\n", t.ok() ? "opened" : qPrintable(t.error().description));
            _exit(busy && !t.ok() && t.error().number == comm::err::PortAlreadyOpen ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "already in use by another program");
}

TEST_F(Device, PermissionDeniedNamesTheDialoutGroup)
{
    // A device node the user may not open: a file with no permissions,
    // opened without the privileges root has.
    const QString path = comm::testing::tempDir() + QStringLiteral("/ttyLocked");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(f.setPermissions({}));
    comm::testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(path));
    EXPECT_EXIT(
        {
            dropCapabilities();
            const Result<> r = comm.put(MSComm::DispPortOpen, Variant::fromBool(true));
            fprintf(stderr, "%s\n", r.ok() ? "opened" : qPrintable(r.error().description));
            _exit(!r.ok() && r.error().number == comm::err::HardwareNotAvailable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "COM1: permission denied opening .*ttyLocked: the user must be in the dialout group");
}
