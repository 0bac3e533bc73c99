// The line trace: a VCD file of RTS, DTR, TxD and DCD.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <map>

#include "comm/simulator.h"
#include "comm/trace.h"
#include "mscomm.h"
#include "comm/testing.h"
#include "windowing/timers.h"

using automation::Variant;
using comm::MSComm;

namespace {

struct Change {
    std::int64_t t;
    QString signal;
    char level;
};

// Parses a VCD file: the variables' names by identifier, then every value
// change with its time.
std::vector<Change> parseVcd(const QString& path, QString* header)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    const qsizetype end = text.indexOf(QStringLiteral("$enddefinitions $end"));
    EXPECT_GE(end, 0);
    *header = text.left(end);
    std::map<QString, QString> names;
    static const QRegularExpression var(QStringLiteral("\\$var wire 1 (\\S+) (\\S+) \\$end"));
    for (auto it = var.globalMatch(*header); it.hasNext();) {
        const auto m = it.next();
        names[m.captured(1)] = m.captured(2);
    }
    std::vector<Change> changes;
    std::int64_t t = -1;
    bool inDump = false;
    for (const QString& line : text.mid(end).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('#'))) {
            const std::int64_t next = line.mid(1).toLongLong();
            EXPECT_GE(next, t) << "time goes backwards at " << qPrintable(line);
            t = next;
        } else if (line == QLatin1String("$dumpvars")) {
            inDump = true;
        } else if (line == QLatin1String("$end")) {
            inDump = false;
        } else if (!line.startsWith(QLatin1Char('$')) && !inDump) {
            EXPECT_TRUE(names.count(line.mid(1))) << qPrintable(line);
            changes.push_back({t, names[line.mid(1)], line[0].toLatin1()});
        }
    }
    return changes;
}

void sendWord(MSComm& c, std::array<bool, 8> bits)
{
    ASSERT_TRUE(comm::testing::sendWord(c, bits).ok());
}

} // namespace

TEST(Trace, RecordsLinesTxdFramesAndCarrier)
{
    windowing::useManualClock();
    auto& amp = comm::SimulatedAmplifier::get(QStringLiteral("trace"));
    amp.reset();
    const QString path = comm::testing::tempDir() + QStringLiteral("/lines.vcd");
    comm::testing::writeConfig(QStringLiteral("COM1 = sim:trace\ntrace = %1\n").arg(path));
    {
        MSComm c;
        ASSERT_TRUE(c.put(MSComm::DispSettings, Variant("2400,N,8,1")).ok());
        ASSERT_TRUE(c.put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
        amp.receive("0");   // drop the bit clocked by the first open
        sendWord(c, {true});
        sendWord(c, {});
        // RTS and DTR go on changing while the first frames are still on the line.
        sendWord(c, {});
        EXPECT_TRUE(c.get(MSComm::DispCDHolding).value().boolean());
        EXPECT_TRUE(c.get(MSComm::DispCDHolding).value().boolean());
        ASSERT_TRUE(c.put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    }
    comm::testing::restoreConfig();

    QString header;
    const auto changes = parseVcd(path, &header);
    EXPECT_TRUE(header.contains(QStringLiteral("$timescale 1ns $end")));
    for (const char* name : {"RTS", "DTR", "TxD", "DCD"})
        EXPECT_TRUE(header.contains(QStringLiteral(" %1 $end").arg(QLatin1String(name)))) << name;

    std::vector<Change> rts, dtr, txd, dcd;
    for (const Change& c : changes) {
        (c.signal == "RTS" ? rts : c.signal == "DTR" ? dtr : c.signal == "TxD" ? txd : dcd).push_back(c);
    }
    // Open: both raised by the kernel, then the kept levels (both low).
    ASSERT_GE(dtr.size(), 3u);
    ASSERT_GE(rts.size(), 4u);
    EXPECT_EQ(QByteArray() + dtr[0].level + dtr[1].level, "10");
    EXPECT_EQ(QByteArray() + rts[0].level + rts[1].level, "10");
    // First word: RTS rises for element 1 before DTR rises, and falls in the
    // second cell; DTR falls and rises in every other cell. Then two all-False
    // words: DTR only.
    EXPECT_EQ(rts[2].level, '1');
    EXPECT_EQ(dtr[2].level, '1');
    EXPECT_LE(rts[2].t, dtr[2].t);
    EXPECT_EQ(rts[3].level, '0');
    EXPECT_GE(rts[3].t, dtr[2].t);
    EXPECT_EQ(rts.size(), 4u);
    ASSERT_EQ(dtr.size(), 2u + 15 + 16 + 16);
    for (std::size_t i = 2; i < dtr.size(); ++i)
        EXPECT_EQ(dtr[i].level, i % 2 ? '0' : '1') << i;

    // Three frames of "0" at 2400 bit/s: per frame low at 0, high at 5, low at 7,
    // high at 9 bit times, frames back to back.
    ASSERT_EQ(txd.size(), 12u);
    const double bit = 1e9 / 2400;
    for (int f = 0; f < 3; ++f) {
        const std::int64_t start = txd[4 * f].t;
        const char levels[] = {'0', '1', '0', '1'};
        const int offsets[] = {0, 5, 7, 9};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(txd[4 * f + i].level, levels[i]);
            EXPECT_NEAR(double(txd[4 * f + i].t - start), offsets[i] * bit, 2.0) << "frame " << f << " edge " << i;
        }
        if (f > 0) {
            EXPECT_GE(double(start - txd[4 * (f - 1)].t), 10 * bit - 2.0) << "frames do not overlap";
        }
    }
    // The first frame starts after the first word's last DTR rise.
    EXPECT_GE(txd[0].t, dtr[16].t);

    // Carrier: recorded once, when it was first read as present.
    ASSERT_EQ(dcd.size(), 1u);
    EXPECT_EQ(dcd[0].level, '1');
}

TEST(Trace, HeldBackEdgesMergeInTimeOrder)
{
    const QString path = comm::testing::tempDir() + QStringLiteral("/merge.vcd");
    {
        QString error;
        auto trace = comm::LineTrace::open(path, &error);
        ASSERT_TRUE(trace) << qPrintable(error);
        EXPECT_EQ(comm::LineTrace::open(path, &error), trace) << "one trace per file";
        // At 300 bit/s a frame lasts 33 ms; line changes meanwhile land between its edges.
        trace->transmit("00", 300);
        for (int i = 0; i < 200; ++i)
            trace->line(comm::LineTrace::Signal::Dtr, i % 2);
        trace->flush();
    }
    QString header;
    const auto changes = parseVcd(path, &header);   // checks the order
    int txd = 0;
    for (const Change& c : changes)
        txd += c.signal == "TxD";
    EXPECT_EQ(txd, 8) << "all edges of both frames written at the end";
    EXPECT_EQ(changes.back().signal, "TxD");
}
