// The panel against the simulated amplifier (or the doubles), on the test
// clock, told as steps and what is seen after each (see panel.h).
#include "panel.h"

#include <QAction>
#include <QRegularExpression>
#include <QTimer>

#include "dispids.h"
#include "nastr.h"
#include "program.h"
#include "shell/testing.h"
#include "windowing/handles.h"

using namespace paneltest;

std::vector<QStringList> paneltest::table(const char *name) {
    QFile file(QStringLiteral(TABLES "/%1.txt").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("no case table %s", name);
    std::vector<QStringList> rows;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#'))
            continue;
        rows.emplace_back();
        for (const QString &field : line.split('|'))
            rows.back() << field.trimmed().replace("\\r\\n", "\r\n");
    }
    return rows;
}

namespace {

// A scenario of scenarios.txt: its name, then its steps.
std::vector<QStringList> scenarios() {
    std::vector<QStringList> all;
    for (const QStringList &row : table("scenarios"))
        row[0].startsWith("== ") ? all.push_back({row[0].mid(3).section(':', 0, 0)})
                                 : void(all.back() << row);
    return all;
}

class Scenario : public PanelTest, public ::testing::WithParamInterface<QStringList> {};

} // namespace

TEST_P(Scenario, ShowsEachStepsOutcome) {
    for (qsizetype i = 1; i + 1 < GetParam().size(); i += 2)
        EXPECT_EQ(step(GetParam()[i]), GetParam()[i + 1])
            << GetParam()[0].toStdString() << ": after step " << (i + 1) / 2 << ", "
            << GetParam()[i].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Panel, Scenario, ::testing::ValuesIn(scenarios()), rowName);

TEST_F(PanelTest, TheProgramLivesUntilItsLastWindowIsUnloaded) {
    bool endedWithTheDialogOpen = true;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, scope_.get(), [&] {
        endedWithTheDialogOpen = window<velmora::Nastr>() != nullptr;
    });
    QTimer::singleShot(0, qApp, [&] {
        panel = window<velmora::Velmora>();
        ASSERT_TRUE(panel) << "the main window loaded";
        EXPECT_TRUE(panel->isVisible()) << "shown although the load step asked the icon to hide it";
        EXPECT_EQ(step("Nastr1"), "- - Nastr icon") << "the settings window open";
        EXPECT_EQ(step("Exit:yes"), "gone Nastr noicon ask-exit") << "the main window unloaded";
        QTimer::singleShot(0, qApp, [] { window<velmora::Nastr>()->close(); });
    });
    EXPECT_EQ(velmora::runProgram(*qApp), 0) << "the program's status";
    EXPECT_FALSE(endedWithTheDialogOpen) << "the program ended after the settings window";
}

TEST_F(PanelTest, WithoutTheIconAndBalloonControlsThePanelWorksAndSaysSoOnce) {
    ::testing::internal::CaptureStderr();
    run({{"registry:comm", "gone"},
         {"key", "gone"},
         {"load", "- ready"},
         {"+150", "ON warming 0"},
         {"Vikl:yes", "ON warming 1 0*3 ask-off"},
         {"+150", "OFF -"},
         {"Scrit", "OFF -"}});
    EXPECT_FALSE(panel->findChild<QAction *>("Scrit")->isEnabled())
        << "nothing would bring a hidden window back";
    EXPECT_EQ(step("Exit:yes"), "gone ask-exit") << "unloaded without an icon to delete";
    const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(said.count(QStringLiteral("velmora: ")), 2) << "two notes: " << said.toStdString();
    EXPECT_TRUE(said.contains(
        QRegularExpression("velmora: Tray \\(lumora.Lumorel\\) is not available.*\nvelmora: "
                           "Balloon \\(pellago.Pellagon\\) is not")))
        << "the icon's, then the balloon's: " << said.toStdString();
}

TEST_F(PanelTest, TheIconsErrorsAreOnlyNoted) {
    using automation::Variant;
    step("load");
    ::testing::internal::CaptureStderr();
    raiseTrayEvent(velmora::tray::ErrorEvent,
                   {Variant(std::int32_t(481)),
                    Variant(QStringLiteral("Недопустимый рисунок")),
                    Variant(QStringLiteral("lumora.AddToTray"))});
    EXPECT_EQ(step("+150"), "OFF - tip-off 0") << "the panel goes on";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "velmora: Tray: error 481: Недопустимый рисунок [lumora.AddToTray]\n")
        << "the one note";
}

// The real icon control: double clicks on its icon while "Выход" asks, one
// taken by the box's own loop, one still queued when Yes unloads the window.
TEST_F(PanelTest, DoubleClicksOnTheIconDuringTheExitQuestionAnsweredYesEndNothingBadly) {
    qputenv("VELMORA_SHELL_TRACE", "shell.trace"); // in the test's working folder
    run({{"registry:lumora", "gone"}, {"load", "- -"}, {"Scrit", "- - hidden"}});
    const windowing::WindowHandle icon =
        windowing::messageWindowOf(panel->findChild<QWidget *>(QStringLiteral("Lumorel")));
    const auto doubleClick = [icon] {
        for (const int message : {513, 514, 515, 514})
            EXPECT_TRUE(windowing::postMouseMessage(icon, {message})) << "posted " << message;
    };
    bool shownInTheBox = false;
    windowing::setMessageBoxHandler([&](const windowing::MessageRequest &r) {
        boxes.push_back(r);
        doubleClick();
        QCoreApplication::processEvents();
        shownInTheBox = panel->isVisible();
        doubleClick();
        return windowing::Answer::Yes;
    });
    EXPECT_EQ(step("Exit"), "gone ask-exit") << "unloaded";
    QCoreApplication::processEvents();
    EXPECT_TRUE(shownInTheBox) << "the first double click shows the window";
    EXPECT_EQ(QString(shell::testing::takeTrace()).remove(QRegularExpression(" [^\n]*")),
              "add\nadd\ndelete")
        << "the icon added, again when shown, and deleted once";
    qunsetenv("VELMORA_SHELL_TRACE");
}
