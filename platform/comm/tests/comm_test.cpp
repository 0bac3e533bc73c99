// The serial-port control at its surface (created by ProgID, called by
// dispatch id) on the tests' port mapping and on a pseudo-terminal whose modem
// lines the preloaded shim emulates; the port mapping, the line trace, and the
// shim that keeps tests off the ports.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <fcntl.h>
#include <span>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "automation/picture.h"
#include "comm/errors.h"
#include "comm/testing.h"
#include "comm_dispids.h"
#include "windowing/timers.h"

using automation::Result;
using automation::Variant;
namespace ct = comm::testing;
namespace e = comm::err;

using namespace comm::dispid; // CDHolding, CommPort, DTREnable, PortOpen, ...
using comm::testing::Word;
const Word Off{}, Power{1};
const Variant on = Variant::fromBool(true), off = Variant::fromBool(false);

class Comm : public ::testing::Test {
  protected:
    void SetUp() override {
        windowing::useManualClock();
        ct::restoreConfig();
    }
    void TearDown() override { ct::restoreConfig(); }
    Result<> put(int id, const Variant &v) { return port->put(id, v); }
    Result<> open(bool open = true) { return put(PortOpen, open ? on : off); }
    bool cd() { return port->get(CDHolding).value().boolean(); }
    void send(const std::vector<Word> &words) { ASSERT_TRUE(ct::sendWords(*port, words).ok()); }
    // The error of a failed call, or a note that it succeeded.
    static automation::Error failure(const Result<> &r) {
        return r ? automation::Error{0, QStringLiteral("(succeeded)"), {}} : r.error();
    }

    automation::ControlPtr port = ct::createPort();
};

// A member put on a new port of the tests' mapping (COM1 to "sim"), the port
// opened first or not; its error number and what its description holds.
struct PutFailure {
    const char *name;
    bool opened;
    int id;
    Variant value;
    int number;
    const char *says;
};

class PutFails : public Comm, public ::testing::WithParamInterface<PutFailure> {};

TEST_P(PutFails, WithTheControlsErrorSayingWhy) {
    const PutFailure &c = GetParam();
    if (c.opened) {
        ASSERT_TRUE(open().ok()) << c.name << ": the port opens first";
    }
    const automation::Error error = failure(put(c.id, c.value));
    EXPECT_EQ(error.number, c.number) << c.name << ": " << qPrintable(error.description);
    EXPECT_EQ(error.source, "MSCommLib.MSComm") << c.name << ": the control's error";
    EXPECT_TRUE(error.description.contains(QString::fromUtf8(c.says)))
        << c.name << ": " << qPrintable(error.description);
}

const std::int16_t Com0 = 0, Com2 = 2;
const int Invalid = e::InvalidPropertyValue, Mismatch = automation::err::TypeMismatch;
INSTANTIATE_TEST_SUITE_P(
    Members, PutFails,
    ::testing::Values(
        PutFailure{"PortOfAnOpenPort", true, CommPort, Com2, e::PortOpen, "COM1 is open: close it"},
        PutFailure{
            "Port0", false, CommPort, Com0, e::InvalidPort, "Invalid port number 0 (1 to 16)"},
        PutFailure{"Port17", false, CommPort, 17, e::InvalidPort, "Invalid port number 17"},
        PutFailure{"Parity", false, Settings, "300,E,8,1", Invalid, "Settings \"300,E,8,1\""},
        PutFailure{"Speed", false, Settings, "301,N,8,1", Invalid, "speed 110 to 115200"},
        PutFailure{"NoBreakSpace", false, Settings, "1200\u00a0,N,8,1", Invalid, "speed 110"},
        PutFailure{"FifthField", false, Settings, "1200,N,8,1,", Invalid, "speed 110 to 115200"},
        PutFailure{"CharAbove255", true, Output, "\u0416", Invalid, "character U+0416, above 255"},
        PutFailure{"OutputAnObject", true, Output, automation::makePicture(1), Mismatch, ""}),
    [](const auto &info) { return std::string(info.param.name); });

// Opening a port under a port mapping ("CONFIG" stands for its path; "BIG":
// the file grown to 3 GiB, sparse); its error number and what its description
// holds.
struct OpenFailure {
    const char *name;
    const char *mapping;
    int number;
    const char *says;
    std::int16_t port = 1;
};

class OpenFails : public Comm, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFails, WithTheControlsErrorSayingWhy) {
    const OpenFailure &c = GetParam();
    const QString config = qEnvironmentVariable("VELMORA_COMM_CONFIG");
    ct::writeConfig(QString::fromUtf8(c.mapping));
    if (QLatin1String(c.mapping) == QLatin1String("BIG")) {
        ASSERT_TRUE(QFile::resize(config, 3LL << 30)) << c.name << ": a sparse file";
    }
    ASSERT_TRUE(put(CommPort, Variant(c.port)).ok()) << c.name << ": COM" << c.port;
    const automation::Error error = failure(open());
    const QString says = QString::fromUtf8(c.says).replace(QLatin1String("CONFIG"), config);
    EXPECT_EQ(error.number, c.number) << c.name << ": " << qPrintable(error.description);
    EXPECT_TRUE(error.description.contains(says))
        << c.name << ": " << qPrintable(error.description);
}

INSTANTIATE_TEST_SUITE_P(
    Mapping, OpenFails,
    ::testing::Values(OpenFailure{"Unmapped",
                                  "COM2 = sim\n",
                                  e::InvalidPort,
                                  "COM5 is not mapped to a device (set COM5 in CONFIG)",
                                  5},
                      OpenFailure{"UnknownTarget",
                                  "\nCOM1 = ttyUSB0\n",
                                  e::HardwareNotAvailable,
                                  "CONFIG:2: COM1: \"ttyUSB0\" is neither"},
                      OpenFailure{"CommentsAndCaseButNoLeadingZero",
                                  "#\ncom1 = sim\t# a#b\nCOM01 = sim\n",
                                  e::HardwareNotAvailable,
                                  "CONFIG:3: unknown key \"COM01\""},
                      OpenFailure{"NoSuchDevice",
                                  "COM1 = /nowhere/tty\n",
                                  e::InvalidPort,
                                  "COM1: no such device: /nowhere/tty"},
                      OpenFailure{"NotATerminal",
                                  "COM1 = /dev/null\n",
                                  e::HardwareNotAvailable,
                                  "COM1: /dev/null is not a serial device"},
                      OpenFailure{"HugeMapping",
                                  "BIG",
                                  e::HardwareNotAvailable,
                                  "CONFIG: cannot read the port mapping: larger than 65536 bytes"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Shim, RefusesToOpenTheMachinesSerialPorts) {
    const char *tty = "/dev/ttyS-velmora-none"; // no such device: without the shim, ENOENT
    const auto error = [](bool failed) {
        return failed ? errno : 0;
    };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(error(::open(tty, O_RDWR) < 0), EACCES) << "open";
    EXPECT_EQ(error(::openat(AT_FDCWD, tty, O_RDWR) < 0), EACCES) << "openat";
    EXPECT_EQ(error(std::fopen(tty, "r+") == nullptr), EACCES) << "fopen";
    ::testing::internal::GetCapturedStderr();
    ct::writeConfig(QStringLiteral("COM1 = %1\n").arg(QLatin1String(tty)));
    const Result<> r = ct::createPort()->put(PortOpen, on);
    ct::restoreConfig();
    EXPECT_EQ(r.error().description.section(':', 0, 1),
              "COM1: permission denied opening /dev/ttyS-velmora-none")
        << "the control's error";
    // A test started without the shim ends before it runs.
    QProcess self;
    self.setEnvironment(QProcess::systemEnvironment().filter(
        QRegularExpression(QStringLiteral("^(?!LD_PRELOAD=)"))));
    self.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--gtest_list_tests")});
    ASSERT_TRUE(self.waitForFinished(20000));
    EXPECT_TRUE(self.readAllStandardError().contains("velmora_modemshim.so is not preloaded"))
        << "it says why it ends";
}

// A VCD file's value changes per signal: levels in order, their times (never
// decreasing), and the signal of the last change.
struct Vcd {
    QMap<QString, QString> levels;
    QMap<QString, QList<qint64>> times;
    QString last;
};
Vcd readVcd(const QString &path) {
    QFile f(path);
    const QByteArray text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    EXPECT_TRUE(text.contains("$timescale 1ns $end")) << qPrintable(path) << ": its time unit";
    EXPECT_TRUE(text.endsWith('\n')) << qPrintable(path) << ": whole lines";
    Vcd out;
    qint64 t = 0;
    for (const QByteArray &l : text.mid(text.indexOf("$dumpvars")).split('\n').mid(6)) {
        if (l.startsWith('#')) {
            EXPECT_GE(l.mid(1).toLongLong(), t) << qPrintable(path) << ": time never decreases";
            t = l.mid(1).toLongLong();
        } else if (!l.isEmpty()) {
            out.last = QStringList{"RTS", "DTR", "TxD", "DCD"}.value(l[1] - '!', "?");
            out.levels[out.last] += QChar(l[0]);
            out.times[out.last] << t;
        }
    }
    return out;
}

// COM1 on a pseudo-terminal: termios settings, the exact modem requests, a
// device that goes away.
class Device : public Comm {
  protected:
    void SetUp() override {
        windowing::useManualClock(); // frame ends in the trace: on the clock tests advance
        ct::writeConfig(QStringLiteral("COM1 = %1\n").arg(pty.slavePath()));
        modemshim_clear();
    }
    // The shim's log since the last call, e.g. "BIC RTS, BIS DTR, GET".
    QString requests() {
        const QMap<unsigned, QString> names{{TIOCMBIS, "BIS"},
                                            {TIOCMBIC, "BIC"},
                                            {TIOCMGET, "GET"},
                                            {TIOCEXCL, "EXCL"},
                                            {TIOCNXCL, "NXCL"}};
        const QMap<int, QString> lines{{TIOCM_RTS, " RTS"}, {TIOCM_DTR, " DTR"}};
        QStringList out;
        for (const modemshim_request &r : std::span(modemshim_log(), modemshim_count()))
            out << names.value(r.request, "other") + lines.value(r.arg);
        modemshim_clear();
        return out.join(", ");
    }
    termios settings() const {
        termios t{};
        tcgetattr(pty.slave(), &t);
        return t;
    }

    ct::Pty pty;
};

TEST_F(Device, OpenIsRawExclusiveWithoutHangupOrFlowControl) {
    termios dirty = settings(); // left behind by another program; the open undoes it
    dirty.c_cflag |= HUPCL | CRTSCTS | PARENB | CSTOPB;
    dirty.c_iflag |= IXON | IXOFF;
    dirty.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &dirty), 0);
    ASSERT_TRUE(put(Settings, Variant(" 1200 ,\tn , 8 , 1\n")).ok());
    ASSERT_TRUE(put(RTSEnable, on).ok());
    EXPECT_EQ(requests(), "") << "a closed port reaches no device";
    ASSERT_TRUE(open().ok());
    EXPECT_EQ(requests(), "EXCL, BIS RTS, BIC DTR") << "exclusive, then the kept levels, RTS first";
    const termios t = settings();
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL | CRTSCTS | CSIZE | PARENB | CSTOPB),
              tcflag_t(CLOCAL | CREAD | CS8))
        << "8N1, no hang-up on close, no RTS/CTS flow control";
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u) << "no XON/XOFF flow control";
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw input";
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << "raw output";
    EXPECT_EQ(cfgetospeed(&t), speed_t(B1200)) << "the speed set while closed";
    ASSERT_TRUE(put(Settings, Variant("2400,N,8,1")).ok());
    const termios after = settings();
    EXPECT_EQ(cfgetispeed(&after), speed_t(B2400)) << "applied to the open port";
    const automation::Error taken = failure(ct::createPort()->put(PortOpen, on));
    EXPECT_EQ(taken.number, e::PortAlreadyOpen) << "a second control on the device";
    EXPECT_EQ(taken.description,
              "COM1: " + pty.slavePath() + " is already in use by another program")
        << "a second control on the device";
    ASSERT_TRUE(open(false).ok());
    EXPECT_EQ(requests(), "NXCL") << "the close lets others in";
    EXPECT_EQ(modemshim_lines(pty.device()), TIOCM_RTS) << "closing leaves the lines as they are";
}

TEST_F(Device, EachWordIsItsExactRequestsThenTheCharacterUntilTheDeviceGoes) {
    ASSERT_TRUE(open().ok());
    requests();
    send({{0, 1, 1, 0, 0, 0, 0, 1}});
    const QString set = "BIC RTS, BIC DTR, BIS RTS, BIS DTR", clear = "BIC RTS, BIC DTR, BIS DTR";
    EXPECT_EQ(requests(),
              QStringList({clear, set, set, clear, clear, clear, clear, set}).join(", "))
        << "per cell RTS off, DTR off, RTS on for a set cell, DTR on";
    EXPECT_EQ(pty.read(), "0") << "the closing character after the last cell";
    EXPECT_FALSE(cd()) << "no carrier yet";
    ASSERT_TRUE(put(Output, Variant(std::int16_t(-7))).ok());
    ASSERT_TRUE(put(Output, Variant(QStringLiteral("\u00ff\u0001"))).ok());
    EXPECT_EQ(pty.read(), QByteArray("-7\xff\x01"))
        << "a number as its text; a character below 256 as its byte";
    modemshim_set_inputs(pty.device(), TIOCM_CAR);
    EXPECT_TRUE(cd()) << "then with the carrier";
    EXPECT_EQ(requests(), "GET, GET") << "one query per read";
    // The adapter is unplugged: the line hangs up, modem requests fail with EIO.
    pty.hangUp();
    modemshim_fail(pty.device(), EIO);
    EXPECT_FALSE(cd()) << "no carrier from a device that is gone";
    ASSERT_TRUE(put(RTSEnable, off).ok());
    ASSERT_TRUE(put(DTREnable, on).ok());
    const automation::Error gone = failure(put(Output, Variant("0")));
    EXPECT_EQ(gone.number, e::HardwareNotAvailable) << "output to a device that is gone";
    EXPECT_EQ(gone.description,
              "COM1: " + pty.slavePath() + " is no longer available (device removed)")
        << "output to a device that is gone";
    EXPECT_EQ(requests(), "GET") << "once gone, line writes make no requests";
    ASSERT_TRUE(open(false).ok());
    modemshim_fail(pty.device(), 0);
}

TEST_F(Device, LineTraceRecordsLinesFramesAndCarrierAndSurvivesAKill) {
    const QString path = ct::tempDir() + "/lines.vcd", killed = ct::tempDir() + "/killed.vcd";
    const QString mapping = QStringLiteral("COM1 = %1\ntrace = %2\n");
    ct::writeConfig(mapping.arg(pty.slavePath(), path));
    ASSERT_TRUE(put(Settings, Variant("2400,N,8,1")).ok());
    ASSERT_TRUE(open().ok());
    send({Power, Off});
    modemshim_set_inputs(pty.device(), TIOCM_CAR);
    ASSERT_TRUE(cd());
    ASSERT_TRUE(open(false).ok());
    const Vcd vcd = readVcd(path);
    EXPECT_EQ(vcd.levels["DTR"], "101" + QString("01").repeated(15))
        << "raised at the open, the kept level, then the clock of each cell";
    EXPECT_EQ(vcd.levels["RTS"], "1010") << "the open, the kept level, element 1 of the first word";
    EXPECT_EQ(vcd.levels["DCD"], "1") << "the carrier once read";
    // Two frames of "0" at 2400 bit/s, edges at 0, 5, 7 and 9 bit times, back to back.
    const QList<qint64> txd = vcd.times["TxD"];
    ASSERT_EQ(vcd.levels["TxD"], "01010101") << "two frames of \"0\"";
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(
            double(txd[i] - txd[i / 4 * 4]), (QList<int>{0, 5, 7, 9}[i % 4]) * 1e9 / 2400, 3)
            << "edge " << i << " of its frame";
    EXPECT_GE(double(txd[4] - txd[0]), 10 * 1e9 / 2400 - 3) << "frames never overlap";
    // A process killed after four words at 110 bit/s (91 ms a frame) whose closing
    // characters' time has passed on the clock, with a fifth one on the wire.
    const auto killedMidFrame = [&] {
        ct::writeConfig(mapping.arg(pty.slavePath(), killed));
        (void)put(Settings, Variant("110,N,8,1"));
        (void)open();
        send({Power, Off, Power, Off});
        windowing::advanceClock(4 * 91 + 1);
        send({Power});
        cd();
        raise(SIGKILL);
    };
    EXPECT_EXIT(killedMidFrame(), ::testing::KilledBySignal(SIGKILL), "") << "killed";
    const Vcd cut = readVcd(killed);
    EXPECT_EQ(cut.levels["DTR"], "1" + QString("01").repeated(5 * 8))
        << "the open, the words' cells";
    EXPECT_EQ(cut.last, "DCD") << "written up to the last line request";
    EXPECT_EQ(cut.levels["TxD"], QString("01").repeated(4 * 2))
        << "every frame that ended before the kill, and the line idle after them";
}

// A process whose ports lead to devices only never loads another backend's
// library: checked in a process of its own, which runs this test alone (its
// test support checks the tests' mapping first: it is put back for it).
TEST_F(Device, OpeningADeviceLoadsNoOtherBackend) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ct::restoreConfig();
    const auto openAndLook = [&] {
        ct::writeConfig(QStringLiteral("COM1 = %1\n").arg(pty.slavePath()));
        const bool opened = open().ok();
        QFile maps(QStringLiteral("/proc/self/maps"));
        const bool read = maps.open(QIODevice::ReadOnly);
        const bool loaded = maps.readAll().contains("libvelmora_simulator.so");
        _exit(opened && read && !loaded ? 0 : 1);
    };
    EXPECT_EXIT(openAndLook(), ::testing::ExitedWithCode(0), "") << "opened, nothing else loaded";
    GTEST_FLAG_SET(death_test_style, style);
}

// Something other than a regular file under the trace's name: the port opens
// without blocking and works without a trace, and one line on standard error
// says why, however often the port opens. The path is the row's name in the
// temporary folder unless `fixed` names another.
enum class InPlace { Nothing, Fifo, FifoBeingRead, Folder };
struct UnusableTrace {
    const char *name;
    InPlace make;
    const char *fixed;
    const char *why;
};

class TraceInPlace : public Device, public ::testing::WithParamInterface<UnusableTrace> {
  protected:
    void TearDown() override {
        if (reader >= 0)
            ::close(reader);
        Device::TearDown();
    }
    // Puts the row's kind of file at `path`; a FIFO being read has a reader
    // at its other end, so that opening it to write would succeed.
    void make(InPlace kind, const QString &path) {
        const QByteArray name = QFile::encodeName(path);
        if (kind == InPlace::Folder) {
            ASSERT_TRUE(QDir().mkpath(path));
        }
        if (kind == InPlace::Fifo || kind == InPlace::FifoBeingRead) {
            ASSERT_EQ(::mkfifo(name.constData(), 0600), 0);
        }
        if (kind == InPlace::FifoBeingRead) {
            reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(reader, 0);
        }
    }
    int reader = -1;
};

TEST_P(TraceInPlace, IsNamedOnceAndThePortWorksWithoutIt) {
    const UnusableTrace &row = GetParam();
    const QString path =
        row.fixed ? QString::fromLatin1(row.fixed) : ct::tempDir() + "/" + row.name;
    make(row.make, path);
    ct::writeConfig(QStringLiteral("COM1 = %1\ntrace = %2\n").arg(pty.slavePath(), path));
    ::testing::internal::CaptureStderr();
    const Result<> opened = open();
    const bool reopened = open(false) && open();
    const bool sent = ct::sendWords(*port, {Off}).ok();
    const QString err = QString::fromStdString(::testing::internal::GetCapturedStderr());
    ASSERT_TRUE(opened.ok()) << row.name << ": " << qPrintable(opened.error().description);
    EXPECT_TRUE(reopened) << row.name << ": closed and opened again";
    EXPECT_TRUE(sent) << row.name << ": a word sent";
    EXPECT_EQ(pty.read(), "0") << row.name << ": the closing character reached the device";
    EXPECT_EQ(err.count('\n'), 1) << row.name << ": one line on stderr, got " << qPrintable(err);
    const QString says = QStringLiteral("the line trace %1 is not written: %2").arg(path, row.why);
    EXPECT_TRUE(err.contains(says)) << row.name << ": expected " << qPrintable(says);
}

INSTANTIATE_TEST_SUITE_P(
    Trace, TraceInPlace,
    ::testing::Values(
        UnusableTrace{"Fifo", InPlace::Fifo, nullptr, "a FIFO, not a file"},
        UnusableTrace{"FifoBeingRead", InPlace::FifoBeingRead, nullptr, "a FIFO, not a file"},
        UnusableTrace{"Folder", InPlace::Folder, nullptr, "a folder, not a file"},
        UnusableTrace{"DevNull", InPlace::Nothing, "/dev/null", "not a regular file: a device"},
        UnusableTrace{
            "InAMissingFolder", InPlace::Nothing, "/proc/none/t.vcd", "No such file or directory"}),
    [](const auto &info) { return std::string(info.param.name); });

// A character's TxD edges reach the file when the clock passes its frame's
// end, with no later line change: `advanceMs` after `text` is sent at
// `baud`, the TxD levels written so far.
struct FrameEnd {
    const char *name;
    const char *settings;
    const char *text;
    int advanceMs;
    const char *txd;
};

class TraceFrames : public Device, public ::testing::WithParamInterface<FrameEnd> {};

TEST_P(TraceFrames, AreWrittenWhenTheirTimeHasPassed) {
    const FrameEnd &row = GetParam();
    const QString path = ct::tempDir() + "/" + row.name + ".vcd";
    ct::writeConfig(QStringLiteral("COM1 = %1\ntrace = %2\n").arg(pty.slavePath(), path));
    ASSERT_TRUE(put(Settings, Variant(row.settings)) && open());
    ASSERT_TRUE(put(Output, Variant(row.text)).ok());
    windowing::advanceClock(row.advanceMs);
    EXPECT_EQ(readVcd(path).levels["TxD"], row.txd) << row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Trace, TraceFrames,
    ::testing::Values(
        // "0" is 0x30: edges at 0, 5, 7 and 9 bit times; "U" (0x55) changes every bit.
        FrameEnd{"OneFrameAt1200", "1200,N,8,1", "0", 9, "0101"},
        FrameEnd{"AlternatingBitsAt2400", "2400,N,8,1", "U", 5, "0101010101"},
        FrameEnd{"TwoOfThreeFramesAt110", "110,N,8,1", "000", 2 * 91 + 1, "01010101"}),
    [](const auto &info) { return std::string(info.param.name); });
