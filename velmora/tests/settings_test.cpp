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
using namespace std::string_literals;
using Lines = std::array<std::int16_t, 4>;

namespace {

// Runs `f` with files unable to grow beyond `bytes`: writes fail as on a full disk.
void onAFullDisk(rlim_t bytes, const std::function<void()> &f) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit full{bytes, old.rlim_max};
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

// A settings file as found at the start: its bytes and mode (a FIFO, or one its
// owner cannot read), and what the dialog then shows.
struct Found {
    const char *name;
    std::string bytes;
    Lines shows;
    mode_t mode = 0600;
};

class SettingsFileFound : public PanelTest, public ::testing::WithParamInterface<Found> {};

} // namespace

TEST_P(SettingsFileFound, ReadsAsTheDialogShowsItAndOkWritesThat) {
    const Found &c = GetParam();
    if (S_ISFIFO(c.mode)) {
        ASSERT_EQ(::mkfifo("nastr.dat", 0600), 0);
    } else {
        step(QStringLiteral("file:") + QString::fromStdString(c.bytes));
        ASSERT_EQ(::chmod("nastr.dat", c.mode), 0);
        if (!(c.mode & S_IRUSR) && ::access("nastr.dat", R_OK) == 0)
            GTEST_SKIP() << "root reads it regardless";
    }
    EXPECT_TRUE(step("load").startsWith(QLatin1String("- "))) << c.name << ": no load error path";
    EXPECT_EQ(amp().powered(), c.shows[1] == 1) << c.name << ": switched on only by a 1";
    EXPECT_FALSE(step("+10000").contains(QLatin1String("ask"))) << c.name << ": the port opens";
    step("Nastr1");
    EXPECT_EQ(shown(), c.shows) << c.name << ": shown";
    ok();
    QByteArray bytes;
    for (const std::int16_t v : c.shows)
        bytes += QByteArray(v < 0 ? "" : " ") + QByteArray::number(v) + " \r\n";
    EXPECT_EQ(settingsFileBytes(), bytes) << c.name << ": OK writes what the dialog shows";
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFileFound,
    ::testing::Values(Found{"empty", "", {0, 0, 0, 0}}, Found{"short", " 2 \r\n", {2, 0, 0, 0}},
                      Found{"greyed", " 1 \r\n 2 \r\n 1 \r\n 2 \r\n", {1, 2, 1, 2}},
                      Found{"blanksSigns", " 1 \r\n\t0\r\n0.0\r\n+1", {1, 0, 0, 1}},
                      Found{"crMoreLines", "1\r0\r0\r1\r7\rrubbish\r", {1, 0, 0, 1}},
                      Found{"lf", "1\n0\n0\n1", {1, 0, 0, 1}},
                      Found{"fractionNotNumbers", "-\r\n1.0\r\n1 2\r\n0x1\r\n", {0, 1, 0, 0}},
                      Found{"limits", "32767\r\n0\r\n0\r\n-32769\r\n", {-1, 0, 0, 0}},
                      Found{"limitsBeyond", "-32768\r\n0\r\n0\r\n32768\r\n", {-1, 0, 0, 0}},
                      Found{"nulCommaExponent", "1\0\r\n1,5\r\n 1e0\r\n1\0\r\n"s, {0, 0, 0, 0}},
                      Found{"outOfRange", " 7 \r\n 5 \r\n-3 \r\n 3 \r\n", {-1, 0, 0, -1}},
                      Found{"signsPoints", "+2\r\n.5\r\n-0\r\n1.\r\n", {2, 0, 0, 1}},
                      Found{"pipe", "", {0, 0, 0, 0}, S_IFIFO},
                      Found{"unreadable", " 1 \r\n 2 \r\n 1 \r\n 2 \r\n", {0, 0, 0, 0}, 0200}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PanelTest, AFirstStartThatCannotWriteTheDefaultsRunsOnThem) {
    // What the panel says meanwhile goes through a pipe: a file could not grow either.
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
    const int saved = ::dup(2);
    ::dup2(pipe[1], 2);
    onAFullDisk(0, [this] { EXPECT_EQ(step("load").toStdString(), "- - icon"); });
    ::dup2(saved, 2);
    ::close(saved);
    ::close(pipe[1]);
    char said[512] = {};
    EXPECT_GT(::read(pipe[0], said, sizeof said - 1), 0) << "a note";
    ::close(pipe[0]);
    EXPECT_TRUE(QByteArray(said).startsWith("velmora: cannot create nastr.dat (")) << said;
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("nastr.dat"))) << "no file written";
    EXPECT_EQ(step("+10000").toStdString(), "OFF - tip-off 0") << "the port opened on COM1";
}

TEST_F(PanelTest, TheDialogSavesTheChoicesOrKeepsTheOldFileAndTheDialogWhenItCannot) {
    step("file: 1 \r\n 0 \r\n 0 \r\n 2 \r\n");
    ASSERT_EQ(::chmod("nastr.dat", 0640), 0);
    run({{"load", "- - icon"}, {"Nastr1", "- - Nastr"}});
    list("COM")->setCurrentIndex(2);
    box("Vkl")->click();
    list("Skor")->setCurrentIndex(0);
    onAFullDisk(4, ok);
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 1 \r\n 0 \r\n 0 \r\n 2 \r\n")) << "the old file";
    ASSERT_EQ(boxes.size(), 1u) << "one message box";
    EXPECT_EQ(boxes[0].icon, windowing::Icon::Error) << "an error box";
    EXPECT_TRUE(boxes[0].text.contains(QDir::current().absoluteFilePath("nastr.dat")))
        << "names the file: " << boxes[0].text.toStdString();
    EXPECT_EQ(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList{"nastr.dat"})
        << "nothing left behind";
    EXPECT_EQ(step("Nastr1").toStdString(), "- - Nastr box:" + boxes[0].text.toStdString())
        << "opened again it only comes forward";
    EXPECT_EQ(shown(), (Lines{2, 1, 0, 0})) << "the dialog keeps the choices";
    ok();
    EXPECT_EQ(step("+0").toStdString(), "- -") << "OK unloads it";
    EXPECT_EQ(settingsFileBytes(), QByteArray(" 2 \r\n 1 \r\n 0 \r\n 0 \r\n")) << "saved";
    struct stat st {};
    ASSERT_EQ(::stat("nastr.dat", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the mode kept";
}

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
