// nastr.dat and the settings dialog: exact bytes, hand-written and damaged
// files, the first start, and saves that fail.
#include "panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

#include "nastr.h"
#include "settingsfile.h"

using namespace paneltest;
using Lines = std::array<std::int16_t, 4>;

namespace {

// Runs `f` with files unable to grow beyond `bytes`: writes fail as on a full disk.
void onAFullDisk(rlim_t bytes, const std::function<void()> &f) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{}, full{};
    getrlimit(RLIMIT_FSIZE, &old);
    full = {bytes, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &full);
    f();
    setrlimit(RLIMIT_FSIZE, &old);
}

QComboBox *list(const char *name) {
    return window<velmora::Nastr>()->findChild<QComboBox *>(name);
}
QCheckBox *box(const char *name) {
    return window<velmora::Nastr>()->findChild<QCheckBox *>(name);
}
void ok() {
    window<velmora::Nastr>()->findChild<QPushButton *>("Command1")->click();
}

// What the dialog shows, as the file holds it: port position, power-on box,
// power-off box (0 clear, 1 ticked, 2 greyed), speed position.
Lines shown() {
    const auto state = [](const char *name) {
        return std::int16_t(std::array{0, 2, 1}[box(name)->checkState()]);
    };
    return {std::int16_t(list("COM")->currentIndex()),
            state("Vkl"),
            state("Vikl"),
            std::int16_t(list("Skor")->currentIndex())};
}

} // namespace

TEST_F(PanelTest, EverySettingsFileReadsAsTheDialogShowsIt) {
    // Named <what>=<port position>,<power-on box>,<power-off box>,<speed position>.
    const std::map<QString, std::function<void()>> special = {
        {"pipe",
         [] {
             ::mkfifo("nastr.dat", 0600);
         }},
        {"unreadable", [] {
             QFile::copy(SETTINGS_FILES "/greyed=1,2,1,2.dat", "nastr.dat");
             QFile::setPermissions("nastr.dat", QFileDevice::WriteOwner);
         }}};
    QStringList files = QDir(QStringLiteral(SETTINGS_FILES)).entryList(QDir::Files);
    for (const auto &[what, make] : special)
        if (what != QLatin1String("unreadable") || ::geteuid() != 0)
            files << what + QStringLiteral("=0,0,0,0");
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        SetUp();
        const QString what = name.section(QLatin1Char('='), 0, 0);
        special.count(what)
            ? special.at(what)()
            : void(QFile::copy(QStringLiteral(SETTINGS_FILES "/") + name, "nastr.dat"));
        Lines expected;
        QByteArray bytes; // as OK writes them: a blank in place of a plus sign, one after the
                          // number, CR LF
        const QStringList values =
            name.section(QLatin1Char('='), 1).remove(QLatin1String(".dat")).split(QLatin1Char(','));
        for (int i = 0; i < 4; ++i)
            expected[i] = std::int16_t(values[i].toInt()),
            bytes += (values[i].startsWith('-') ? "" : " ") + values[i].toLatin1() + " \r\n";
        EXPECT_TRUE(step("load").startsWith(QLatin1String("- "))) << "no load error path";
        EXPECT_EQ(amp().powered(), expected[1] == 1) << "switched on at start only by a 1";
        EXPECT_FALSE(step("+10000").contains(QLatin1String("ask"))) << "the port stays open";
        step("Nastr1");
        EXPECT_EQ(shown(), expected);
        ok();
        EXPECT_EQ(settingsFileBytes(), bytes) << "OK writes what the dialog shows";
        TearDown();
    }
}

TEST_F(PanelTest, AFirstStartThatCannotWriteTheDefaultsRunsOnThem) {
    onAFullDisk(0, [this] { EXPECT_EQ(step("load").toStdString(), "- - icon"); });
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("nastr.dat")));
    EXPECT_EQ(step("+10000").toStdString(), "OFF - tip-off 0");
}

TEST_F(PanelTest, TheDialogSavesTheChoicesOrKeepsTheOldFileAndTheDialogWhenItCannot) {
    step("file: 1 \r\n 0 \r\n 0 \r\n 2 \r\n");
    const auto permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QFile::setPermissions(QStringLiteral("nastr.dat"), permissions);
    run({{"load", "- - icon"}, {"Nastr1", "- - Nastr"}});
    list("COM")->setCurrentIndex(2);
    box("Vkl")->click();
    list("Skor")->setCurrentIndex(0);
    onAFullDisk(4, ok);
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 1 \r\n 0 \r\n 0 \r\n 2 \r\n"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, windowing::Icon::Error);
    EXPECT_TRUE(
        boxes[0].text.contains(QDir::current().absoluteFilePath(QStringLiteral("nastr.dat"))))
        << boxes[0].text.toStdString();
    EXPECT_EQ(QDir::current().entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("nastr.dat")})
        << "nothing left behind";
    EXPECT_EQ(step("Nastr1").toStdString(), "- - Nastr box:" + boxes[0].text.toStdString())
        << "opened again it only comes forward";
    EXPECT_EQ(shown(), (Lines{2, 1, 0, 0})) << "with the choices";
    ok();
    EXPECT_EQ(step("+0").toStdString(), "- -") << "OK unloads it";
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 2 \r\n 1 \r\n 0 \r\n 0 \r\n"));
    EXPECT_EQ(QFile::permissions(QStringLiteral("nastr.dat")) & QFileDevice::Permissions(0x7077),
              permissions);
}

namespace {

struct SavedMode {
    const char *name;
    mode_t before, after;
};

class SettingsFileMode : public PanelTest, public ::testing::WithParamInterface<SavedMode> {};

} // namespace

// OK lets the owner read and write the file it saves, whatever the old file
// allowed, and keeps the rest of its mode.
TEST_P(SettingsFileMode, OkLetsTheOwnerReadAndWriteTheSavedFile) {
    step("file: 1 \r\n 0 \r\n 0 \r\n 2 \r\n");
    ASSERT_EQ(::chmod("nastr.dat", GetParam().before), 0);
    run({{"load", "- - icon"}, {"Nastr1", "- - Nastr"}});
    ok();
    struct stat st {};
    ASSERT_EQ(::stat("nastr.dat", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Modes, SettingsFileMode,
                         ::testing::Values(SavedMode{"writeOnly", 0200, 0600},
                                           SavedMode{"writeOnlyGroupReads", 0240, 0640},
                                           SavedMode{"groupWritable", 0664, 0664},
                                           SavedMode{"private", 0600, 0600}),
                         [](const auto &info) { return std::string(info.param.name); });

// A FIFO renamed over nastr.dat and away again while the settings are read:
// a read that meets it gives the defaults at once instead of waiting for a
// writer that never comes. When a read does hang, the test opens the FIFO for
// writing to let it go, and fails.
TEST_F(PanelTest, AFifoRenamedOverTheSettingsFileNeverHoldsAReadUp) {
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    step("file: 1 \r\n 1 \r\n 0 \r\n 2 \r\n");
    ASSERT_TRUE(QFile::rename(QStringLiteral("nastr.dat"), QStringLiteral("plain")));
    std::atomic<bool> reading = true;
    std::thread swapper([&] {
        for (bool fifo = true; reading; fifo = !fifo) {
            ::link(fifo ? "fifo" : "plain", "next");
            ::rename("next", "nastr.dat");
        }
    });
    auto reads = std::async(std::launch::async, [] {
        int fromThePlainFile = 0;
        for (int i = 0; i < 20000; ++i)
            fromThePlainFile += velmora::readSettings().autoOnSet();
        return fromThePlainFile;
    });
    const bool finished = reads.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    reading = false;
    swapper.join();
    if (!finished)
        ::close(::open("fifo", O_WRONLY | O_NONBLOCK));
    EXPECT_TRUE(finished) << "a read waited on the FIFO";
    EXPECT_GT(reads.get(), 0) << "the plain file was read between the swaps";
}
