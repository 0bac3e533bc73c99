// nastr.dat and the settings dialog: exact bytes, hand-written and damaged
// files, the first start, and saves that fail.
#include "panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "nastr.h"
#include "settingsfile.h"

using namespace paneltest;
using velmora::Nastr;

namespace {

// Files may not grow beyond `bytes` while it lives: writes fail as on a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old{};
};

Nastr* openDialog(velmora::Velmora& p)
{
    p.findChild<QAction*>("Nastr1")->trigger();
    return p.settingsWindow();
}

// What the dialog shows: port position, power-on box, power-off box, speed position.
std::array<int, 4> shown(Nastr* d)
{
    return {d->findChild<QComboBox*>("COM")->currentIndex(), int(d->findChild<QCheckBox*>("Vkl")->checkState()),
            int(d->findChild<QCheckBox*>("Vikl")->checkState()), d->findChild<QComboBox*>("Skor")->currentIndex()};
}

const std::array<int, 4> Defaults{0, Qt::Unchecked, Qt::Unchecked, 0};

using SettingsTest = PanelTest;

} // namespace

TEST(SettingsFile, LinesAreNumbersWithinTheSixteenBitRange)
{
    struct Case { const char* line; std::optional<double> value; };
    const Case cases[] = {
        {" 1 ", 1}, {"1", 1}, {"\t-1\t", -1}, {"+2", 2}, {"1.0", 1}, {"1.", 1}, {".5", 0.5}, {"-0", 0},
        {"32767", 32767}, {"-32768", -32768},
        {"", {}}, {"   ", {}}, {"abc", {}}, {"1 2", {}}, {"1e5", {}}, {"0x10", {}}, {"-", {}}, {".", {}},
        {"32768", {}}, {"-32769", {}}, {"123456789012345678901234567890", {}}, {"1,5", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(velmora::parseLine(c.line), c.value) << '"' << c.line << '"';
    EXPECT_EQ(velmora::parseLine(QByteArray("1\0", 2)), std::nullopt);
}

TEST(SettingsFile, WrittenAsBlankOrSignDigitsBlankCrLf)
{
    EXPECT_EQ(velmora::formatSettings({1, 1, 0, 2}), QByteArray(" 1 \r\n 1 \r\n 0 \r\n 2 \r\n"));
    EXPECT_EQ(velmora::formatSettings({-1, 2, 0, 32767}), QByteArray("-1 \r\n 2 \r\n 0 \r\n 32767 \r\n"));
    EXPECT_EQ(velmora::formatLine(-32768), QByteArray("-32768 \r\n"));
}

TEST_F(SettingsTest, TheDialogShowsTheFileAndSavesItsExactBytes)
{
    writeSettingsFile(" 1 \r\n 1 \r\n 0 \r\n 2 \r\n");
    auto& p = start();
    Nastr* d = openDialog(p);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Настройка программы"));
    EXPECT_EQ(shown(d), (std::array<int, 4>{1, Qt::Checked, Qt::Unchecked, 2}));

    d->findChild<QComboBox*>("COM")->setCurrentIndex(2);
    d->findChild<QCheckBox*>("Vikl")->click();
    d->findChild<QComboBox*>("Skor")->setCurrentIndex(0);
    // Opening it again only brings it forward: the unsaved choices stay.
    EXPECT_EQ(openDialog(p), d);
    EXPECT_EQ(shown(d), (std::array<int, 4>{2, Qt::Checked, Qt::Checked, 0}));

    d->findChild<QPushButton*>("Command1")->click();
    processDeletes();
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 2 \r\n 1 \r\n 1 \r\n 0 \r\n"));
    EXPECT_EQ(p.settingsWindow(), nullptr) << "OK unloads the dialog";
    EXPECT_TRUE(boxes.empty());

    // The next opening reads the file afresh.
    writeSettingsFile("0\r\n0\r\n1\r\n1\r\n");
    EXPECT_EQ(shown(openDialog(p)), (std::array<int, 4>{0, Qt::Unchecked, Qt::Checked, 1}));
}

TEST_F(SettingsTest, HandWrittenFilesReadLikeTheDialogsOwn)
{
    auto& p = start();
    for (const char* file : {"1\r\n0\r\n0\r\n1\r\n", "1\n0\n0\n1", " 1 \r\n\t0\r\n0.0\r\n+1", " 1 \r\n 0 \r\n 0 \r\n 1 \r\n 7 \r\nrubbish\r\n"}) {
        writeSettingsFile(file);
        Nastr* d = openDialog(p);
        EXPECT_EQ(shown(d), (std::array<int, 4>{1, Qt::Unchecked, Qt::Unchecked, 1})) << file;
        d->findChild<QPushButton*>("Command1")->click();
        processDeletes();
        EXPECT_EQ(settingsFileBytes(), QByteArray(" 1 \r\n 0 \r\n 0 \r\n 1 \r\n")) << file;
    }
}

TEST_F(SettingsTest, UnusualNumbersStayAsTheyAre)
{
    // A greyed box does not switch the amplifier on, shows greyed, and is written back as 2.
    writeSettingsFile(" 0 \r\n 2 \r\n 0 \r\n-1 \r\n");
    auto& p = start();
    EXPECT_FALSE(amp().powered());
    Nastr* d = openDialog(p);
    EXPECT_EQ(shown(d), (std::array<int, 4>{0, Qt::PartiallyChecked, Qt::Unchecked, -1}));
    d->findChild<QPushButton*>("Command1")->click();
    processDeletes();
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 0 \r\n 2 \r\n 0 \r\n-1 \r\n"));

    // Positions the lists cannot take, and box states no box has, show nothing chosen.
    writeSettingsFile(" 7 \r\n 5 \r\n-3 \r\n 3 \r\n");
    EXPECT_EQ(shown(openDialog(p)), (std::array<int, 4>{-1, Qt::Unchecked, Qt::Unchecked, -1}));
}

TEST_F(SettingsTest, OneWrittenAsAFractionSwitchesOnAtStart)
{
    writeSettingsFile("0\r\n1.0\r\n0\r\n0\r\n");
    load();
    EXPECT_TRUE(amp().powered());
}

TEST_F(SettingsTest, ADamagedFileReadsAsDefaultsEverywhere)
{
    struct Case {
        const char* name;
        std::function<void()> make;
        std::array<int, 4> dialog;
    };
    const auto bytes = [](QByteArray b) { return [b] { writeSettingsFile(b); }; };
    std::vector<Case> cases = {
        {"empty", bytes(""), Defaults},
        {"short", bytes(" 2 \r\n"), {2, Qt::Unchecked, Qt::Unchecked, 0}},
        {"not numbers", bytes("COM2\r\nyes\r\n\r\nfast\r\n"), Defaults},
        {"huge numbers", bytes("99999\r\n1e5\r\n123456789012345678901234567890\r\n-40000\r\n"), Defaults},
        {"binary", bytes(QByteArray("\x00\xff\x01\r\n\x80\x7f\r\n\x00\r\n\x1b[2J", 16)), Defaults},
        {"directory", [] { QDir().mkdir(QStringLiteral("nastr.dat")); }, Defaults},
        {"symlink loop", [] { QFile::link(QStringLiteral("nastr.dat"), QStringLiteral("nastr.dat")); }, Defaults},
        {"pipe", [] { ::mkfifo("nastr.dat", 0600); }, Defaults},
    };
    if (::geteuid() != 0)
        cases.push_back({"no read permission", [] {
                             writeSettingsFile(" 2 \r\n 1 \r\n 1 \r\n 2 \r\n");
                             QFile::setPermissions(QStringLiteral("nastr.dat"), QFileDevice::WriteOwner);
                         }, Defaults});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case in a working folder of its own.
        ASSERT_TRUE(QDir().mkdir(QString::fromLatin1(c.name)));
        ASSERT_TRUE(QDir::setCurrent(QString::fromLatin1(c.name)));
        c.make();
        auto& p = start();
        EXPECT_EQ(p.PortOk, -1) << "the load step did not take its error path";
        EXPECT_EQ(calls(p.Tray).filter(QLatin1String("AddToTray")).size(), 1);
        EXPECT_FALSE(amp().powered());
        advance(10000);   // two watchdog ticks
        EXPECT_EQ(p.PortOk, -1);
        Nastr* d = openDialog(p);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(shown(d), c.dialog);
        delete d;
        answers = {windowing::Answer::Yes};
        p.findChild<QAction*>("Exit")->trigger();
        processDeletes();
        EXPECT_TRUE(panel.isNull()) << "the exit reads the file too";
        for (const char* name : {"default", "com2", "com3"})
            amp(name).reset();
        ASSERT_TRUE(QDir::setCurrent(QStringLiteral("..")));
    }
}

TEST_F(SettingsTest, AFirstStartWritesTheDefaults)
{
    ASSERT_FALSE(settingsFileExists());
    auto& p = load();
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 0 \r\n 0 \r\n 0 \r\n 0 \r\n"));
    EXPECT_EQ(p.PortOk, -1);
    EXPECT_EQ(calls(p.Tray).filter(QLatin1String("AddToTray")).size(), 1);
    advance(10000);
    EXPECT_EQ(p.PortOk, -1);
    EXPECT_TRUE(amp().portOpen());

    // An existing file, even a damaged one, is left as it is.
    delete panel.data();
    writeSettingsFile("junk");
    load();
    EXPECT_EQ(settingsFileBytes(), QByteArray("junk"));
}

TEST_F(SettingsTest, AFirstStartThatCannotWriteUsesTheDefaultsInMemory)
{
    {
        FileSizeLimit full(0);
        load();
    }
    EXPECT_FALSE(settingsFileExists());
    EXPECT_EQ(panel->PortOk, -1);
    advance(10000);
    EXPECT_EQ(panel->PortOk, -1);
    EXPECT_TRUE(amp().portOpen());
}

TEST_F(SettingsTest, AFailedSaveKeepsTheOldFileAndTheDialog)
{
    writeSettingsFile(" 1 \r\n 0 \r\n 0 \r\n 2 \r\n");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QFile::setPermissions(QStringLiteral("nastr.dat"), permissions);
    auto& p = start();
    Nastr* d = openDialog(p);
    d->findChild<QComboBox*>("COM")->setCurrentIndex(2);
    d->findChild<QCheckBox*>("Vkl")->click();
    {
        FileSizeLimit full(4);
        d->findChild<QPushButton*>("Command1")->click();
    }
    processDeletes();
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 1 \r\n 0 \r\n 0 \r\n 2 \r\n"));
    ASSERT_EQ(p.settingsWindow(), d) << "the dialog stays open";
    EXPECT_EQ(shown(d), (std::array<int, 4>{2, Qt::Checked, Qt::Unchecked, 2}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, windowing::Icon::Error);
    EXPECT_TRUE(boxes[0].text.contains(QDir::current().absoluteFilePath(QStringLiteral("nastr.dat"))))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(QDir::current().entryList(QDir::Files | QDir::Hidden) == QStringList{QStringLiteral("nastr.dat")})
        << "no temporary file left behind";

    // Once the disk has room again the same choices are saved, and the file
    // keeps its permissions.
    d->findChild<QPushButton*>("Command1")->click();
    processDeletes();
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 2 \r\n 1 \r\n 0 \r\n 2 \r\n"));
    EXPECT_EQ(QFile::permissions(QStringLiteral("nastr.dat")) & QFileDevice::Permissions(0x7077), permissions);
}
