// nastr.dat and the settings dialog: exact bytes, hand-written and damaged
// files, the first start, and saves that fail.
#include "panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "nastr.h"
#include "settingsfile.h"

using namespace paneltest;

namespace {

// Files may not grow beyond `bytes` while it lives: writes fail as on a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old{};
};

// What the dialog shows, as the file holds it: port position, power-on box,
// power-off box (0 clear, 1 ticked, 2 greyed), speed position.
std::array<std::int16_t, 4> shown()
{
    auto* d = window<velmora::Nastr>();
    if (!d)
        return {-9, -9, -9, -9};
    const auto box = [d](const char* name) { return std::int16_t(std::array{0, 2, 1}[d->findChild<QCheckBox*>(name)->checkState()]); };
    return {std::int16_t(d->findChild<QComboBox*>("COM")->currentIndex()), box("Vkl"), box("Vikl"),
            std::int16_t(d->findChild<QComboBox*>("Skor")->currentIndex())};
}

void ok() { window<velmora::Nastr>()->findChild<QPushButton*>("Command1")->click(); }

} // namespace

TEST(SettingsFile, LinesAreNumbersWithinTheSixteenBitRange)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {" 1 ", 1}, {"\t-1\t", -1}, {"+2", 2}, {"1.", 1}, {".5", 0.5}, {"-0", 0}, {"32767", 32767}, {"-32768", -32768},
        {"   ", {}}, {"1 2", {}}, {"1e5", {}}, {"0x10", {}}, {"-", {}}, {".", {}}, {"32768", {}}, {"-32769", {}},
    };
    for (const auto& [line, value] : cases)
        EXPECT_EQ(velmora::parseLine(line), value) << '"' << line << '"';
    EXPECT_EQ(velmora::parseLine(QByteArray("1\0", 2)), std::nullopt);
}

TEST_F(PanelTest, TheDialogShowsTheFileAndSavesItsExactBytes)
{
    run({{"file: 1 \r\n 1 \r\n 0 \r\n 2 \r\n", "gone"}, {"load", "- ready icon 1 0*2"}, {"Nastr1", "- ready Nastr"}});
    EXPECT_EQ(shown(), (std::array<std::int16_t, 4>{1, 1, 0, 2}));
    window<velmora::Nastr>()->findChild<QComboBox*>("COM")->setCurrentIndex(2);
    window<velmora::Nastr>()->findChild<QCheckBox*>("Vikl")->click();
    window<velmora::Nastr>()->findChild<QComboBox*>("Skor")->setCurrentIndex(0);
    // Opened again it only comes forward, with the choices made.
    EXPECT_EQ(step("Nastr1").toStdString(), "- ready Nastr");
    EXPECT_EQ(shown(), (std::array<std::int16_t, 4>{2, 1, 1, 0}));
    ok();
    EXPECT_EQ(step("+0").toStdString(), "- ready") << "OK unloads the dialog";
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 2 \r\n 1 \r\n 1 \r\n 0 \r\n"));
    // The next opening reads the file afresh.
    step("file:0\r\n0\r\n1\r\n1\r\n");
    step("Nastr1");
    EXPECT_EQ(shown(), (std::array<std::int16_t, 4>{0, 0, 1, 1}));
}

TEST_F(PanelTest, EverySettingsFileReadsAsTheDialogShowsIt)
{
    // The files are named <what>=<port position>,<power-on box>,<power-off box>,<speed position>.
    QStringList files = QDir(QStringLiteral(SETTINGS_FILES)).entryList(QDir::Files);
    files << "folder=0,0,0,0" << "loop=0,0,0,0" << "pipe=0,0,0,0";
    if (::geteuid() != 0)
        files << "unreadable=0,0,0,0";
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        SetUp();
        if (name.startsWith(QLatin1String("folder")))
            QDir().mkdir(QStringLiteral("nastr.dat"));
        else if (name.startsWith(QLatin1String("loop")))
            QFile::link(QStringLiteral("nastr.dat"), QStringLiteral("nastr.dat"));
        else if (name.startsWith(QLatin1String("pipe")))
            ::mkfifo("nastr.dat", 0600);
        else if (name.startsWith(QLatin1String("unreadable")))
            QFile::copy(QStringLiteral(SETTINGS_FILES "/dialog=1,1,0,2.dat"), QStringLiteral("nastr.dat")),
                QFile::setPermissions(QStringLiteral("nastr.dat"), QFileDevice::WriteOwner);
        else
            QFile::copy(QStringLiteral(SETTINGS_FILES "/") + name, QStringLiteral("nastr.dat"));
        std::array<std::int16_t, 4> expected;
        const QStringList values = name.section(QLatin1Char('='), 1).remove(QLatin1String(".dat")).split(QLatin1Char(','));
        for (int i = 0; i < 4; ++i)
            expected[i] = std::int16_t(values.value(i).toInt());
        const QString started = step("load");
        EXPECT_TRUE(started.startsWith(QLatin1String("- "))) << "the load step did not take its error path: " << started.toStdString();
        EXPECT_EQ(amp().powered(), expected[1] == 1) << "switched on at start only by a 1";
        EXPECT_FALSE(step("+10000").contains(QLatin1String("ask"))) << "the port stays open";
        step("Nastr1");
        EXPECT_EQ(shown(), expected);
        if (!name.startsWith(QLatin1String("folder"))) {
            ok();
            EXPECT_EQ(settingsFileBytes(), velmora::formatSettings(expected)) << "OK writes what the dialog shows";
        }
        EXPECT_TRUE(step("Exit:yes").startsWith(QLatin1String("gone")));
        TearDown();
    }
}

TEST_F(PanelTest, AFirstStartWritesTheDefaultsAndLeavesAnyFileThatExists)
{
    step("load");
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 0 \r\n 0 \r\n 0 \r\n 0 \r\n"));
    SetUp();
    step("file:junk");
    step("load");
    EXPECT_EQ(settingsFileBytes(), QByteArray("junk"));
}

TEST_F(PanelTest, AFirstStartThatCannotWriteRunsOnTheDefaults)
{
    {
        FileSizeLimit full(0);
        EXPECT_EQ(step("load").toStdString(), "- - icon");
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("nastr.dat")));
    EXPECT_EQ(step("+10000").toStdString(), "OFF - tip-off 0");
}

TEST_F(PanelTest, AFailedSaveKeepsTheOldFileAndTheDialog)
{
    step("file: 1 \r\n 0 \r\n 0 \r\n 2 \r\n");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QFile::setPermissions(QStringLiteral("nastr.dat"), permissions);
    step("load");
    step("Nastr1");
    window<velmora::Nastr>()->findChild<QComboBox*>("COM")->setCurrentIndex(2);
    window<velmora::Nastr>()->findChild<QCheckBox*>("Vkl")->click();
    {
        FileSizeLimit full(4);
        ok();
    }
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 1 \r\n 0 \r\n 0 \r\n 2 \r\n"));
    EXPECT_EQ(shown(), (std::array<std::int16_t, 4>{2, 1, 0, 2})) << "the dialog stays open";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, windowing::Icon::Error);
    EXPECT_TRUE(boxes[0].text.contains(QDir::current().absoluteFilePath(QStringLiteral("nastr.dat")))) << boxes[0].text.toStdString();
    EXPECT_EQ(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("nastr.dat")}) << "nothing left behind";
    // With room on the disk again the same choices are saved, and the file keeps its permissions.
    ok();
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 2 \r\n 1 \r\n 0 \r\n 2 \r\n"));
    EXPECT_EQ(QFile::permissions(QStringLiteral("nastr.dat")) & QFileDevice::Permissions(0x7077), permissions);
}
